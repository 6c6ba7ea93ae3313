#include "runtime/io/stream_service_base.h"

namespace brx::io {

StreamServiceBase::StreamServiceBase(std::string write_thread_name,
                                     std::unique_ptr<IOWriteService::IWriteServiceImpl> writer)
    : write_service_(std::move(write_thread_name), std::move(writer)) {}

StreamServiceBase::~StreamServiceBase() { write_service_.Stop(); }

bool StreamServiceBase::Send(ConnectionId connection, const uint8_t* header, uint32_t header_length,
                             const uint8_t* body, uint32_t body_length) {
  if (!IsRunning()) return false;
  return write_service_.Write(connection, header, header_length, body, body_length);
}

}  // namespace brx::io

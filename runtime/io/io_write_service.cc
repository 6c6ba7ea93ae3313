#include "runtime/io/io_write_service.h"

#include <cstring>

namespace brx::io {

IOWriteService::IOWriteService(std::string name, std::unique_ptr<IWriteServiceImpl> writer)
    : ThreadRun(std::move(name)), writer_(std::move(writer)) {
  RegisterEvent(&data_);
}

IOWriteService::~IOWriteService() { Stop(); }

bool IOWriteService::Write(ConnectionId connection, const uint8_t* header, uint32_t header_length,
                           const uint8_t* body, uint32_t body_length) {
  auto message = std::make_unique<QueuedMessage>();
  message->connection = connection;
  message->length = header_length + body_length;
  message->body.reset(new uint8_t[message->length ? message->length : 1]);
  if (header_length) memcpy(message->body.get(), header, header_length);
  if (body_length) memcpy(message->body.get() + header_length, body, body_length);
  return Queue({connection, std::move(message)});
}

bool IOWriteService::Shutdown(ConnectionId connection) { return Queue({connection, nullptr}); }

bool IOWriteService::Queue(Item item) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsStopping()) return false;
    queue_.push_back(std::move(item));
  }
  data_.Set();
  return true;
}

void IOWriteService::Stop() {
  ThreadRun::Stop();
  std::deque<Item> unwritten;
  std::lock_guard<std::mutex> lock(mutex_);
  unwritten.swap(queue_);
}

int IOWriteService::Run() {
  std::deque<Item> taken;
  while (!IsStopping()) {
    Wait();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      taken.swap(queue_);
    }
    while (!taken.empty() && !IsStopping()) {
      Item& item = taken.front();
      if (item.message) writer_->Write(*item.message, stop_event().fd());
      else writer_->Shutdown(item.connection);
      taken.pop_front();
    }
  }
  // Messages taken but not written when the stop came are freed here.
  return 0;
}

}  // namespace brx::io

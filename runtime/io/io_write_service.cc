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
  std::unique_lock<std::mutex> lock(mutex_);
  if (IsStopping()) return false;
  size_t written = 0;
  if (queue_.empty() && !busy_) {
    // Nothing is ahead of this message: try it at once. The lock is held
    // so no other message can get between its parts.
    int result = writer_->TryWrite(connection, header, header_length, body, body_length, &written);
    if (result != EAGAIN && result != ENOTSUP) return true;  // written, or dropped as failed
  }
  auto message = std::make_unique<QueuedMessage>();
  message->connection = connection;
  message->length = static_cast<uint32_t>(header_length + body_length - written);
  message->body.reset(new uint8_t[message->length ? message->length : 1]);
  uint8_t* out = message->body.get();
  if (written < header_length) {
    memcpy(out, header + written, header_length - written);
    out += header_length - written;
    if (body_length) memcpy(out, body, body_length);
  } else if (body_length) {
    memcpy(out, body + (written - header_length), body_length - (written - header_length));
  }
  queue_.push_back({connection, std::move(message)});
  lock.unlock();
  data_.Set();
  return true;
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
  busy_ = false;
}

int IOWriteService::Run() {
  std::deque<Item> taken;
  while (!IsStopping()) {
    Wait();
    while (true) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        taken.swap(queue_);
        busy_ = !taken.empty();
      }
      if (taken.empty() || IsStopping()) break;
      while (!taken.empty() && !IsStopping()) {
        Item& item = taken.front();
        if (item.message) writer_->Write(*item.message, stop_event().fd());
        else writer_->Shutdown(item.connection);
        taken.pop_front();
      }
    }
  }
  // Messages taken but not written when the stop came are freed here.
  return 0;
}

}  // namespace brx::io

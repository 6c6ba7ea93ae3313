#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/logmaker/log.h"

namespace ombrix::test {

// Sees every line the process's logger writes from now on. The logger
// keeps its writers for the whole process, so the tap's state is shared
// and the tap goes quiet once this object is gone.
class LogTap {
 public:
  // `on_line` (optional) runs on the logging thread, inside the logger; it
  // must not log, nor call this tap.
  explicit LogTap(std::function<void(const std::string&)> on_line = nullptr)
      : state_(std::make_shared<State>()) {
    state_->on_line = std::move(on_line);
    brx::logmaker::GetAppLogger()->AddWriter(std::make_unique<Writer>(state_));
  }
  ~LogTap() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->live = false;
    state_->on_line = nullptr;
  }
  LogTap(const LogTap&) = delete;
  LogTap& operator=(const LogTap&) = delete;

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lines;
  }
  bool Has(const std::string& text) {
    for (const std::string& line : Lines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

 private:
  struct State {
    std::mutex mutex;
    bool live = true;
    std::vector<std::string> lines;
    std::function<void(const std::string&)> on_line;
  };
  class Writer : public brx::logmaker::ILogWriter {
   public:
    explicit Writer(std::shared_ptr<State> state) : state_(std::move(state)) {}
    void Write(const brx::logmaker::LogRecord& record) override { WriteText(record.line.c_str()); }
    // Under the tap's lock, so the tap's end waits for a callback that
    // still runs.
    void WriteText(const char* text) override {
      std::lock_guard<std::mutex> lock(state_->mutex);
      if (!state_->live) return;
      state_->lines.push_back(text);
      if (state_->on_line) state_->on_line(text);
    }

   private:
    std::shared_ptr<State> state_;
  };

  std::shared_ptr<State> state_;
};

}  // namespace ombrix::test

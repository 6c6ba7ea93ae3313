#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/web/web_client_host.h"
#include "client/web/web_logic_manager.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/tick_clock.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace ombrix::test {

// One fired event, with the fields of whichever payload it was.
struct RecordedEvent {
  int32_t id = -1;
  int32_t kind = 0;
  int32_t handle = 0;
  std::wstring param;
  int ok = -1;
  std::wstring text;
  int rejected = -1;
  std::wstring local_file;
  std::wstring url;
};

// Copies every web event fired on a chain.
class EventRecorder {
 public:
  void Attach(EventChain* chain);
  std::vector<RecordedEvent> All() const;
  std::vector<RecordedEvent> Of(int32_t id) const;
  size_t Count(int32_t id) const { return Of(id).size(); }
  std::vector<int32_t> Ids() const;
  void Clear();

 private:
  void Record(const EventParameter* p);
  mutable std::mutex mutex_;
  std::vector<RecordedEvent> events_;
};

// The configuration and screenshot store the web logic writes to.
class FakeClientHost : public IWebClientHost {
 public:
  void SetSystemConfigValue(const std::wstring& key, const std::wstring& value) override {
    config[key] = value;
  }
  std::wstring GetSystemConfigValue(const std::wstring& key) override {
    auto it = config.find(key);
    return it == config.end() ? L"" : it->second;
  }
  std::wstring GetSnapshotDirectory() override { return snapshot_dir; }
  void ClearAllShots() override { ++cleared_shots; }
  std::map<std::wstring, std::wstring> config;
  std::wstring snapshot_dir;
  int cleared_shots = 0;
};

// Every log line written by the process from installation on.
class LogCapture {
 public:
  static LogCapture& Get();
  std::vector<std::string> Lines() const;
  bool Contains(const std::string& text) const;
  size_t CountContaining(const std::string& text) const;
  void Clear();

 private:
  LogCapture();
  friend class CaptureWriter;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// A web stand-in, a message queue on the test thread standing in for the
// GUI thread, a program folder and a web logic manager over them.
class WebTestFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes "gsc" (pointing at the stand-in) into the program folder unless
  // `with_gsc` is false, then creates and starts the manager.
  void StartManager(bool with_gsc = true);
  // Runs the main thread's part: takes thread messages and dispatches 2024
  // until `condition` holds or the time runs out.
  bool PumpUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
  // Dispatches what has arrived so far.
  void PumpPending();
  // Waits until every job posted to the worker so far has run, then
  // dispatches their results.
  bool DrainWorker(WebLogicManager::Worker which);
  // Signs the demo user in with a password; true when event 0 said ok.
  bool SignInDemo();
  std::wstring ProgramPath(const std::string& name) const;

  WebStandin standin_;
  TempDir program_;
  std::unique_ptr<brx::base::ThreadMessageQueue> queue_;
  EventChain chain_;
  EventRecorder events_;
  brx::platform::ManualTickClock clock_{1000};
  FakeClientHost host_;
  std::unique_ptr<WebLogicManager> manager_;
  size_t dispatch_messages_ = 0;
};

}  // namespace ombrix::test

#include "tests/client/web/web_test_fixture.h"

#include <atomic>

#include "client/core/message_ids.h"
#include "client/core/web_events.h"
#include "client/web/ob_logic_web_user.h"
#include "runtime/base/message_loop.h"
#include "runtime/base/thread.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/edition.h"
#include "runtime/util/text_convert.h"

namespace ombrix::test {

namespace {
template <typename T>
void OkText(const EventParameter* p, RecordedEvent* e) {
  auto* x = static_cast<const T*>(p);
  e->ok = x->ok;
  e->text = x->text;
}
}  // namespace

void EventRecorder::Attach(EventChain* chain) {
  for (int32_t id :
       {0, 1, 3, 4, 5, 6, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 23, 30, 31, 32, 33})
    chain->Subscribe(id, [this](const EventParameter* p) { Record(p); });
}

void EventRecorder::Record(const EventParameter* p) {
  RecordedEvent e;
  e.id = p->event_id;
  if (auto* d = dynamic_cast<const EVENT_DATA*>(p)) {
    e.kind = d->kind;
    e.handle = d->handle;
  }
  if (auto* s = dynamic_cast<const EVENT_DATA_STRINGPARAM1*>(p)) e.param = s->param;
  switch (p->event_id) {
    case 0: {
      auto* x = static_cast<const payload::SEVENT_RESPONSE_UserLogin*>(p);
      e.ok = x->ok, e.text = x->text, e.rejected = x->rejected;
      break;
    }
    case 1: {
      auto* x = static_cast<const payload::SEVENT_RESPONSE_UserLoginByTicket*>(p);
      e.ok = x->ok, e.text = x->text, e.rejected = x->rejected;
      break;
    }
    case 5:
      OkText<payload::SEVENT_RESPONSE_GetUserAccountByAccount>(p, &e);
      break;
    case 6:
      OkText<payload::SEVENT_RESPONSE_SearchByNickAndProfile>(p, &e);
      break;
    case 20:
      OkText<payload::SEVENT_RESPONSE_GetWYGameUserFriend>(p, &e);
      break;
    case 23:
      OkText<payload::SEVENT_RESPONSE_GetGameUserProfileList>(p, &e);
      break;
    case 30:
      OkText<payload::SEVENT_RESPONSE_GetServerDateTime>(p, &e);
      break;
    case 31:
      OkText<payload::SEVENT_RESPONSE_GetCurrentUserQtidByEncrypt>(p, &e);
      break;
    case 10:
      e.ok = static_cast<const payload::SEVENT_RESPONSE_UpdateUserInfo*>(p)->ok;
      break;
    case 11:
      e.ok = static_cast<const payload::SEVENT_RESPONSE_UpdateUserHeadImage*>(p)->ok;
      break;
    case 17:
      e.ok = static_cast<const payload::SEVENT_RESPONSE_AddFollowList*>(p)->ok;
      break;
    case 19:
      e.ok = static_cast<const payload::SEVENT_RESPONSE_Addblog*>(p)->ok;
      break;
    case 33:
      e.ok = static_cast<const payload::SEVENT_RESPONSE_RecommendedAdd*>(p)->ok;
      break;
    case 18: {
      auto* x = static_cast<const payload::SEVENT_RESPONSE_Upload*>(p);
      e.ok = x->ok, e.text = x->text, e.local_file = x->local_file;
      EXPECT_EQ(x->kind, 1);
      EXPECT_EQ(x->percent, 100);
      break;
    }
    case 21: {
      auto* x = static_cast<const payload::SEVENT_RESPONSE_GameDownloadFile*>(p);
      e.ok = x->ok, e.url = x->url, e.local_file = x->local_file;
      break;
    }
    default:
      break;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(std::move(e));
}

std::vector<RecordedEvent> EventRecorder::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::vector<RecordedEvent> EventRecorder::Of(int32_t id) const {
  std::vector<RecordedEvent> out;
  for (auto& e : All())
    if (e.id == id) out.push_back(e);
  return out;
}

std::vector<int32_t> EventRecorder::Ids() const {
  std::vector<int32_t> out;
  for (auto& e : All()) out.push_back(e.id);
  return out;
}

void EventRecorder::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
}

class CaptureWriter : public brx::logmaker::ILogWriter {
 public:
  explicit CaptureWriter(LogCapture* capture) : capture_(capture) {}
  void Write(const brx::logmaker::LogRecord& record) override {
    std::lock_guard<std::mutex> lock(capture_->mutex_);
    capture_->lines_.push_back(record.line);
  }
  void WriteText(const char* text) override {
    std::lock_guard<std::mutex> lock(capture_->mutex_);
    capture_->lines_.push_back(text);
  }

 private:
  LogCapture* capture_;
};

LogCapture::LogCapture() {
  brx::logmaker::GetAppLogger()->AddWriter(std::make_unique<CaptureWriter>(this));
}

LogCapture& LogCapture::Get() {
  static LogCapture* capture = new LogCapture;  // the logger keeps writing to it until exit
  return *capture;
}

std::vector<std::string> LogCapture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool LogCapture::Contains(const std::string& text) const { return CountContaining(text) > 0; }

size_t LogCapture::CountContaining(const std::string& text) const {
  size_t n = 0;
  for (const auto& line : Lines())
    if (line.find(text) != std::string::npos) ++n;
  return n;
}

void LogCapture::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

void WebTestFixture::SetUp() {
  ASSERT_TRUE(standin_.running());
  brx::util::SetEditionLibraryPathForTesting(DistDir() + "/OBVerCustom.dll");
  brx::util::ResetEditionCacheForTesting();
  queue_ = std::make_unique<brx::base::ThreadMessageQueue>();
  events_.Attach(&chain_);
  LogCapture::Get().Clear();
}

void WebTestFixture::TearDown() {
  if (manager_) manager_->Stop();
  manager_.reset();
  queue_.reset();
}

void WebTestFixture::StartManager(bool with_gsc) {
  if (with_gsc) WriteFile(program_.Sub("gsc"), standin_.GscXml());
  WebLogicOptions options;
  options.program_folder = brx::util::Utf8ToWide(program_.path());
  options.clock = &clock_;
  options.host = &host_;
  manager_ = std::make_unique<WebLogicManager>(&chain_, options);
  ASSERT_TRUE(manager_->Start(brx::base::CurrentThreadId()));
}

void WebTestFixture::PumpPending() {
  brx::base::Message msg;
  while (queue_->Peek(&msg, true)) {
    if (msg.message == ombrix::messages::kWebJobsFinished) {
      ++dispatch_messages_;
      manager_->DispatchFinishedJobs();
    }
  }
}

namespace {
// Runs after every job posted before it on the same worker.
class MarkerTask : public brx::base::Task {
 public:
  explicit MarkerTask(std::atomic<bool>* ran) : Task("MarkerTask"), ran_(ran) {}
  void Run(brx::base::MessageLoop*, int64_t) override { *ran_ = true; }

 private:
  std::atomic<bool>* ran_;
};
}  // namespace

bool WebTestFixture::DrainWorker(WebLogicManager::Worker which) {
  auto ran = std::make_shared<std::atomic<bool>>(false);
  if (manager_->worker(which).PostTask(std::make_unique<MarkerTask>(ran.get())) < 0) return false;
  if (!WaitUntil([&] { return ran->load(); })) return false;
  PumpPending();
  return true;
}

bool WebTestFixture::PumpUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) {
  return WaitUntil(
      [&] {
        PumpPending();
        return condition();
      },
      timeout);
}

bool WebTestFixture::SignInDemo() {
  size_t before = events_.Count(0);
  manager_->User().UserLogin(L"demo", L"ombrix2024", {FromHandle::kClient, 0},
                             LoginFlags::kRememberPassword);
  if (!PumpUntil([&] { return events_.Count(0) > before; })) return false;
  return events_.Of(0).back().ok == 1;
}

std::wstring WebTestFixture::ProgramPath(const std::string& name) const {
  return brx::util::Utf8ToWide(program_.Sub(name));
}

}  // namespace ombrix::test

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "client/core/web_events.h"
#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_other.h"
#include "client/web/web_command.h"
#include "runtime/base/message_loop.h"
#include "runtime/util/text_convert.h"
#include "tests/client/web/web_test_fixture.h"

namespace ombrix::test {
namespace {

using brx::util::Utf8ToWide;

class WebJobTest : public WebTestFixture {
 protected:
  void SetUp() override {
    WebTestFixture::SetUp();
    StartManager();
  }
  // A GetServerDateTime job tagged `tag`, whose callback appends the tag.
  std::unique_ptr<JoberDesc_Web> Tagged(int tag, uint32_t timeout_ms = 10000) {
    auto job =
        NewInterfaceCommand(Utf8ToWide(standin_.base_url()), L"Other", L"GetServerDateTime", {},
                            [this, tag](const JoberDescReturn_Web*) { order_.push_back(tag); });
    job->url.SetParam(L"tag", std::to_wstring(tag));
    job->request.timeout_ms = timeout_ms;
    return job;
  }
  void Post(std::unique_ptr<JoberDesc_Web> job) {
    ASSERT_GT(manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                                std::move(job)),
              0);
  }
  std::vector<int> order_;
};

TEST_F(WebJobTest, ResultsFinishedWhileTheMainThreadIsBusyArriveInOrderInOneDrain) {
  for (int tag = 1; tag <= 3; ++tag) Post(Tagged(tag));
  // The main thread does not look until all three have finished.
  ASSERT_TRUE(WaitUntil([&] { return manager_->finished_jobs().QueuedForTesting() == 3; }));
  EXPECT_TRUE(order_.empty());
  brx::base::Message msg;
  ASSERT_TRUE(queue_->Peek(&msg, true));
  EXPECT_EQ(msg.message, 2024u);
  manager_->DispatchFinishedJobs();
  EXPECT_EQ(order_, (std::vector<int>{1, 2, 3}));
  // The other two messages find nothing left.
  int more = 0;
  while (queue_->Peek(&msg, true)) {
    EXPECT_EQ(msg.message, 2024u);
    manager_->DispatchFinishedJobs();
    ++more;
  }
  EXPECT_EQ(more, 2);
  EXPECT_EQ(order_.size(), 3u);
}

TEST_F(WebJobTest, ACancelledJobNeverRunsNorCallsBack) {
  standin_.Fault("command=GetServerDateTime&mode=timeout&hold_ms=20000");
  Post(Tagged(1, 400));  // holds the worker until its time-out
  ASSERT_TRUE(standin_.WaitForRequests("GetServerDateTime"));
  Post(Tagged(2));
  manager_->worker(WebLogicManager::kNormalWorker).CancelAllTasks();
  Post(Tagged(3));
  ASSERT_TRUE(PumpUntil([&] { return order_.size() == 2; }));
  EXPECT_EQ(order_, (std::vector<int>{1, 3}));
  for (const auto& r : standin_.RequestsFor("GetServerDateTime")) EXPECT_NE(r.Param("tag"), "2");
}

TEST_F(WebJobTest, StopDuringASlowRequestReturnsAtOnceAndNothingCallsBack) {
  standin_.Fault("command=GetServerDateTime&mode=timeout&hold_ms=30000");
  manager_->Other().GetServerDateTime();  // a 10 s time-out
  Post(Tagged(7));                        // queued behind it
  ASSERT_TRUE(standin_.WaitForRequests("GetServerDateTime"));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    manager_->Stop();
    stopped = true;
  });
  // Far less than the request's own time-out: the transfer is cut short.
  EXPECT_TRUE(WaitUntil([&] { return stopped.load(); }, std::chrono::milliseconds(5000)));
  stopper.join();
  PumpPending();
  EXPECT_EQ(events_.Count(30), 0u);
  EXPECT_TRUE(order_.empty());
  EXPECT_EQ(manager_->PostJob(WebLogicManager::kNormalWorker, std::make_unique<Jober_WebNormal>(),
                              Tagged(8)),
            -1);
  EXPECT_EQ(standin_.RequestsFor("GetServerDateTime").size(), 1u);
}

TEST_F(WebJobTest, DestroyingTheManagerWithWorkInFlightLeavesNothingBehind) {
  ASSERT_TRUE(SignInDemo());
  standin_.Fault("command=GetServerDateTime&mode=timeout&hold_ms=30000");
  manager_->Other().GetServerDateTime();
  ASSERT_TRUE(standin_.WaitForRequests("GetServerDateTime"));
  // No Stop(): the destructor aborts the transfer, drops everything and
  // unsubscribes, all well within the request's own 10 s time-out.
  std::atomic<bool> destroyed{false};
  std::thread destroyer([&] {
    manager_.reset();
    destroyed = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return destroyed.load(); }, std::chrono::milliseconds(5000)));
  destroyer.join();
  brx::base::Message msg;
  while (queue_->Peek(&msg, true))
    EXPECT_EQ(msg.message, 2024u);  // a late wake-up finds no manager work
  EXPECT_EQ(events_.Count(30), 0u);
  // The user object's handlers are gone with it: firing its events now
  // reaches only the recorder.
  for (int32_t id : {0, 1, 3, 4}) EXPECT_EQ(chain_.SubscriberCount(id), 1u) << id;
  payload::SEVENT_RESPONSE_UserLogin login({FromHandle::kClient, 0}, L"{}", true, L"demo", false);
  payload::SEVENT_RESPONSE_UserLoginByTicket ticket({FromHandle::kGameClient, 1}, L"{}", true,
                                                    L"demo", false);
  payload::SEVENT_RESPONSE_BeforeUserLogout before;
  payload::SEVENT_RESPONSE_UserLogout after;
  for (const EventParameter* event :
       std::initializer_list<const EventParameter*>{&login, &ticket, &before, &after})
    chain_.FireEvent(event);
  EXPECT_EQ(events_.Count(3), 1u);
}

TEST_F(WebJobTest, NoCallbackRunsOnceACallbackStoppedOrDestroyedTheManager) {
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "stopped");
    if (destroy) {
      manager_.reset();
      StartManager();
    }
    order_.clear();
    for (int tag = 1; tag <= 3; ++tag) {
      auto job = Tagged(tag);
      if (tag == 1) {
        job->callback = [this, destroy](const JoberDescReturn_Web*) {
          order_.push_back(1);
          if (destroy)
            manager_.reset();
          else
            manager_->Stop();
        };
      }
      Post(std::move(job));
    }
    ASSERT_TRUE(WaitUntil([&] { return manager_->finished_jobs().QueuedForTesting() == 3; }));
    manager_->DispatchFinishedJobs();  // one drain holds all three
    EXPECT_EQ(order_, std::vector<int>{1});
    brx::base::Message msg;
    while (queue_->Peek(&msg, true)) EXPECT_EQ(msg.message, 2024u);
    if (manager_) manager_->DispatchFinishedJobs();
    EXPECT_EQ(order_, std::vector<int>{1});
  }
}

}  // namespace
}  // namespace ombrix::test

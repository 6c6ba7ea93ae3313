#include "client/app/main_loop.h"

#include <gtest/gtest.h>

#include "client/core/core_events.h"
#include "client/core/event_ids.h"
#include "client/core/message_ids.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/single_instance_lock.h"
#include "tests/client/app/app_test_support.h"

namespace {

using brx::base::Message;
using brx::base::SC_CLOSE;
using brx::base::WM_QUIT;
using brx::base::WM_SYSCOMMAND;
using brx::base::WM_TIMER;

constexpr uintptr_t SC_MINIMIZE = 0xF020;

class MainLoopTest : public ::testing::Test {
 protected:
  void MakeApp(const std::string& ini = TestInstall::DefaultIni(), bool with_daemon_link = false) {
    install_ = std::make_unique<TestInstall>(ini);
    app_ = std::make_unique<OBApplication>(&ui_, install_->Options(&journal_, with_daemon_link));
    ASSERT_TRUE(app_->logic().Start(app_->gui_thread_id(), &app_->event_chain()));
    // The window-message chain journals what reaches it.
    app_->message_chain().Subscribe(SEVENTCHAIN_MESSAGE, [this](const EventParameter* p) {
      const Message* msg = static_cast<const payload::SEVENTCHAIN_MESSAGE*>(p)->msg;
      journal_.Add("chain:" + std::to_string(msg->message));
      if (msg->message == WM_SYSCOMMAND && msg->wParam == SC_CLOSE) return closes_taken_-- > 0;
      return chain_takes_.count(msg->message) != 0;
    });
    journal_.entries.clear();
  }
  void Post(uint32_t message, uintptr_t wParam = 0) {
    queue_.Post(Message{0, message, wParam, 0, 0});
  }
  void Run() { RunMessageLoop(app_.get(), &ui_); }

  brx::base::ThreadMessageQueue queue_;
  Journal journal_;
  FakeUserInterface ui_{&journal_};
  std::unique_ptr<TestInstall> install_;
  std::unique_ptr<OBApplication> app_;
  std::set<uint32_t> chain_takes_;
  int closes_taken_ = 0;
};

TEST_F(MainLoopTest, TheTimerTicksTheLogicAndStillReachesTheWindows) {
  MakeApp();
  Post(WM_TIMER, kLogicTimerId);
  Post(WM_QUIT);
  Run();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"web.OnTimer", "game.Flush", "ui.Translate:275", "chain:275",
                                      "ui.Dispatch:275"}));
}

TEST_F(MainLoopTest, EachPartTakesItsOwnThreadMessages) {
  MakeApp();
  Post(ombrix::messages::kGamePipeInput);
  Post(ombrix::messages::kSignallingEvent);
  Post(ombrix::messages::kVideoTransportNotice);
  Post(ombrix::messages::kHeadImageDownloaded);
  Post(ombrix::messages::kWebJobsFinished);
  Post(WM_QUIT);
  Run();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"game.Dispatch", "video.Message:2224", "video.Message:2225",
                                      "video.Message:2226", "web.Dispatch"}));
}

TEST_F(MainLoopTest, DaemonInputWithoutDaemonLinkGoesOnToTheWindows) {
  MakeApp();
  ASSERT_EQ(app_->daemon_ipc(), nullptr);
  Post(ombrix::messages::kDaemonPipeInput);
  Post(WM_QUIT);
  Run();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"ui.Translate:2125", "chain:2125", "ui.Dispatch:2125"}));
}

TEST_F(MainLoopTest, DaemonInputIsDrainedByTheDaemonLink) {
  MakeApp("GameId=other\nKey=OB-TEST\nInstallHook=1\n", /*with_daemon_link=*/true);
  ASSERT_NE(app_->daemon_ipc(), nullptr);
  Post(ombrix::messages::kDaemonPipeInput);
  Post(WM_QUIT);
  Run();
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"daemon.Dispatch"}));
}

TEST_F(MainLoopTest, FinishedWebJobsTheManagerDoesNotTakeGoOn) {
  MakeApp();
  install_->web->consume = false;
  Post(ombrix::messages::kWebJobsFinished);
  Post(WM_QUIT);
  Run();
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"web.Dispatch", "ui.Translate:2024",
                                                        "chain:2024", "ui.Dispatch:2024"}));
}

TEST_F(MainLoopTest, TheTranslateStepAndTheChainTakeMessagesBeforeDispatch) {
  MakeApp();
  ui_.translate = {3001};
  chain_takes_ = {3002};
  Post(3001);
  Post(3002);
  Post(3003);
  Post(WM_QUIT);
  Run();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"ui.Translate:3001", "ui.Translate:3002", "chain:3002",
                                      "ui.Translate:3003", "chain:3003", "ui.Dispatch:3003"}));
}

TEST_F(MainLoopTest, ACloseCommandEndsTheLoopOnlyWhenNoWindowTakesIt) {
  MakeApp();
  closes_taken_ = 1;  // a window takes the first close command only
  Post(WM_SYSCOMMAND, SC_CLOSE);
  Post(WM_SYSCOMMAND, SC_MINIMIZE);
  Post(3001);
  Post(WM_SYSCOMMAND, SC_CLOSE);
  Post(3002);
  Run();
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{
                                  "ui.Translate:274", "chain:274", "ui.Translate:274", "chain:274",
                                  "ui.Dispatch:274", "ui.Translate:3001", "chain:3001",
                                  "ui.Dispatch:3001", "ui.Translate:274", "chain:274"}));
  // The loop ended at the untaken close command; what follows stays queued.
  Message left;
  ASSERT_TRUE(queue_.Peek(&left, true));
  EXPECT_EQ(left.message, 3002u);
}

// The window manager's close of one window (posted to that window as a
// close command) is that window's to answer: it goes on to the window and
// the client runs on.
TEST_F(MainLoopTest, AWindowsCloseCommandGoesToThatWindowAndTheLoopGoesOn) {
  MakeApp();
  constexpr brx::base::WindowHandle kWindow = 0x10001;
  queue_.Post(Message{kWindow, WM_SYSCOMMAND, SC_CLOSE, 0, 0});
  Post(3001);
  Post(WM_QUIT);
  Run();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"ui.Translate:274", "chain:274", "ui.Dispatch:274",
                                      "ui.Translate:3001", "chain:3001", "ui.Dispatch:3001"}));
}

TEST_F(MainLoopTest, QuitEndsTheLoopAfterTheMessagesPostedBeforeIt) {
  MakeApp();
  Post(3001);
  Post(WM_QUIT);
  Post(3002);
  Run();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"ui.Translate:3001", "chain:3001", "ui.Dispatch:3001"}));
}

TEST_F(MainLoopTest, WithoutApplicationEverythingGoesToTheWindows) {
  Post(WM_TIMER, kLogicTimerId);
  Post(ombrix::messages::kGamePipeInput);
  Post(WM_QUIT);
  RunMessageLoop(nullptr, &ui_);
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"ui.Translate:275", "ui.Dispatch:275",
                                                        "ui.Translate:2124", "ui.Dispatch:2124"}));
}

// The whole life after start-up: windows, start-up jobs, the 1-second
// timer, the loop, and the shut-down in order.
TEST(CreateUserInterfaceTest, RunsUntilQuitTicksAndShutsDownInOrder) {
  brx::base::ThreadMessageQueue queue;
  Journal journal;
  FakeUserInterface ui(&journal);
  TestInstall install;
  ASSERT_TRUE(OBApplication::InitialApplication(&ui, "--gui", install.Options(&journal, false)));
  OBApplication* app = OBApplication::Get();
  ASSERT_NE(app, nullptr);
  // The first tick that reaches the windows ends the run.
  app->message_chain().Subscribe(SEVENTCHAIN_MESSAGE, [&](const EventParameter* p) {
    if (static_cast<const payload::SEVENTCHAIN_MESSAGE*>(p)->msg->message == WM_TIMER)
      brx::base::PostQuitMessage(0);
    return false;
  });
  journal.entries.clear();
  CreateUserInterface(&ui);
  EXPECT_EQ(app->timer_id(), kLogicTimerId);
  EXPECT_FALSE(brx::base::KillTimer(0, kLogicTimerId));  // already killed
  EXPECT_EQ(journal.entries, (std::vector<std::string>{
                                 "ui.CreateWindows", "web.StartUpJobs", "web.OnTimer", "game.Flush",
                                 "ui.Translate:275", "ui.Dispatch:275", "ui.DestroyTray"}));

  journal.entries.clear();
  ExitApplication();
  EXPECT_EQ(OBApplication::Get(), nullptr);
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"game.Stop", "web.Stop", "video.Stop"}));
  EXPECT_NE(ombrix::test::ReadFile(install.Sub("sysconfig.xml")).find("<firstrun>0</firstrun>"),
            std::string::npos);
  std::unique_ptr<brx::platform::SingleInstanceLock> lock;
  EXPECT_EQ(brx::platform::SingleInstanceLock::Acquire("Global\\OBHOST_MUTEX", &lock),
            brx::platform::SingleInstanceLock::Result::kAcquired);
  ExitApplication();  // nothing left to do
}

}  // namespace

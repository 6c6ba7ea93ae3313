#include "client/app/ob_logic_command.h"

#include <gtest/gtest.h>

#include "client/core/core_events.h"
#include "client/core/message_ids.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/tick_clock.h"
#include "tests/client/app/app_test_support.h"

namespace {

using ombrix::test::PathExists;
using ombrix::test::ReadFile;
using ombrix::test::WriteFile;

class OBLogicCommandTest : public ::testing::Test {
 protected:
  OBLogicCommandTest() : logic_(install_.Folder(), L"other") {
    auto web = std::make_unique<FakeWebLogic>(&journal_);
    auto video = std::make_unique<FakeVideoChat>(&journal_);
    auto game = std::make_unique<FakeGameLink>(&journal_);
    web_ = web.get();
    video_ = video.get();
    game_ = game.get();
    logic_.SetWebLogic(std::move(web));
    logic_.SetVideoChat(std::move(video));
    logic_.SetGameLink(std::move(game));
    logic_.SetTickClockForTesting(&clock_);
  }
  std::string SysConfig() const { return install_.Sub("sysconfig.xml"); }

  TestInstall install_;
  Journal journal_;
  EventChain events_;
  brx::platform::ManualTickClock clock_{1000};
  OBLogicCommand logic_;
  FakeWebLogic* web_;
  FakeVideoChat* video_;
  FakeGameLink* game_;
};

TEST_F(OBLogicCommandTest, StartsThePartsInOrderAndSavesOnConfigurationEvents) {
  WriteFile(install_.Sub("games/wow.xml"), "<root><game id=\"wow\" /></root>");
  ASSERT_TRUE(logic_.Start(77, &events_));
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"web.Start", "video.Start", "game.Start"}));
  EXPECT_EQ(web_->started_thread, 77u);
  EXPECT_EQ(events_.SubscriberCount(SEVENT_CONFIG_CHANGE_SYSTEM), 1u);
  EXPECT_EQ(events_.SubscriberCount(SEVENT_CONFIG_CHANGE_GAME), 1u);

  logic_.config().system().SetAccount(L"alice");
  payload::SEVENT_CONFIG_CHANGE_SYSTEM system_changed(payload::kConfigFromSettingsDialog, 0);
  events_.FireEvent(&system_changed);
  EXPECT_NE(ReadFile(SysConfig()).find("<account>alice</account>"), std::string::npos);

  logic_.config().games().SetQuality(L"wow", 42);
  payload::SEVENT_CONFIG_CHANGE_GAME game_changed(L"wow", payload::kConfigFromSettingsDialog, 0);
  events_.FireEvent(&game_changed);
  EXPECT_NE(ReadFile(install_.Sub("games/wow.xml")).find("<quality>42</quality>"),
            std::string::npos);
}

TEST_F(OBLogicCommandTest, AMissingSkinFolderStartsNothing) {
  rmdir(install_.Sub("OBSkin/other").c_str());
  EXPECT_FALSE(logic_.Start(1, &events_));
  EXPECT_TRUE(journal_.entries.empty());
  EXPECT_EQ(events_.SubscriberCount(SEVENT_CONFIG_CHANGE_SYSTEM), 0u);
}

TEST_F(OBLogicCommandTest, AFailingVideoChatStopsWhatStartedBeforeIt) {
  video_->start_result = false;
  EXPECT_FALSE(logic_.Start(1, &events_));
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"web.Start", "video.Start", "web.Stop", "video.Stop"}));
  EXPECT_EQ(events_.SubscriberCount(SEVENT_CONFIG_CHANGE_SYSTEM), 0u);
  EXPECT_FALSE(PathExists(SysConfig()));
}

TEST_F(OBLogicCommandTest, AFailingGameLinkStopsEverythingThatStarted) {
  game_->start_result = false;
  EXPECT_FALSE(logic_.Start(1, &events_));
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"web.Start", "video.Start", "game.Start",
                                                        "game.Stop", "web.Stop", "video.Stop"}));
  EXPECT_FALSE(PathExists(SysConfig()));
}

TEST_F(OBLogicCommandTest, StopUnsubscribesStopsInOrderAndSavesTheConfiguration) {
  WriteFile(install_.Sub("games/wow.xml"), "<root><game id=\"wow\" /></root>");
  ASSERT_TRUE(logic_.Start(1, &events_));
  bool saved_before_video_stopped = false;
  video_->on_stop = [&] {
    saved_before_video_stopped =
        ReadFile(SysConfig()).find("<firstrun>0</firstrun>") != std::string::npos &&
        ReadFile(install_.Sub("games/wow.xml")).find("gb2312") != std::string::npos;
  };
  journal_.entries.clear();
  logic_.Stop();
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"game.Stop", "web.Stop", "video.Stop"}));
  EXPECT_TRUE(saved_before_video_stopped);
  EXPECT_EQ(events_.SubscriberCount(SEVENT_CONFIG_CHANGE_SYSTEM), 0u);
  EXPECT_EQ(events_.SubscriberCount(SEVENT_CONFIG_CHANGE_GAME), 0u);

  journal_.entries.clear();
  logic_.Stop();  // once only
  EXPECT_TRUE(journal_.entries.empty());
}

TEST_F(OBLogicCommandTest, StopWithoutStartAndAbandonSaveNothing) {
  logic_.Stop();
  EXPECT_FALSE(PathExists(SysConfig()));
  ASSERT_TRUE(logic_.Start(1, &events_));
  journal_.entries.clear();
  logic_.Abandon();
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"game.Stop", "web.Stop", "video.Stop"}));
  EXPECT_FALSE(PathExists(SysConfig()));
  EXPECT_EQ(events_.SubscriberCount(SEVENT_CONFIG_CHANGE_SYSTEM), 0u);
}

TEST_F(OBLogicCommandTest, EachTickRunsTheWebTickKeepAliveAndStatisticsInOrder) {
  ASSERT_TRUE(logic_.Start(1, &events_));
  journal_.entries.clear();
  logic_.OnTimer();  // the first tick only notes the time
  EXPECT_EQ(journal_.entries, (std::vector<std::string>{"web.OnTimer", "game.Flush"}));

  clock_.Advance(4999);
  journal_.entries.clear();
  logic_.OnTimer();
  EXPECT_FALSE(journal_.Has("video.KeepAlive"));

  clock_.Advance(1);
  journal_.entries.clear();
  logic_.OnTimer();
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"web.OnTimer", "video.KeepAlive", "game.Flush"}));

  clock_.Advance(4999);
  journal_.entries.clear();
  logic_.OnTimer();
  EXPECT_FALSE(journal_.Has("video.KeepAlive"));
}

TEST_F(OBLogicCommandTest, KeepAliveSurvivesTheTickCountWrap) {
  clock_.Set(0xFFFFF000u);
  ASSERT_TRUE(logic_.Start(1, &events_));
  logic_.OnTimer();
  clock_.Advance(3000);  // wraps past zero
  journal_.entries.clear();
  logic_.OnTimer();
  EXPECT_FALSE(journal_.Has("video.KeepAlive"));
  clock_.Advance(2000);
  logic_.OnTimer();
  EXPECT_TRUE(journal_.Has("video.KeepAlive"));
}

TEST_F(OBLogicCommandTest, LoopStepsReachOnlyStartedParts) {
  brx::base::Message web_done{0, ombrix::messages::kWebJobsFinished, 0, 0, 0};
  brx::base::Message video_msg{0, ombrix::messages::kVideoTransportNotice, 0, 0, 0};
  brx::base::Message other{0, 3000, 0, 0, 0};
  EXPECT_FALSE(logic_.DispatchGamePipeInput());
  EXPECT_FALSE(logic_.DispatchFinishedWebJobs(web_done));
  EXPECT_FALSE(logic_.OnVideoChatMessage(video_msg));
  EXPECT_TRUE(journal_.entries.empty());

  ASSERT_TRUE(logic_.Start(1, &events_));
  journal_.entries.clear();
  EXPECT_TRUE(logic_.DispatchGamePipeInput());
  EXPECT_TRUE(logic_.DispatchFinishedWebJobs(web_done));
  EXPECT_FALSE(logic_.DispatchFinishedWebJobs(other));
  EXPECT_TRUE(logic_.OnVideoChatMessage(video_msg));
  EXPECT_FALSE(logic_.OnVideoChatMessage(other));
  EXPECT_EQ(journal_.entries,
            (std::vector<std::string>{"game.Dispatch", "web.Dispatch", "video.Message:2225"}));
}

TEST_F(OBLogicCommandTest, TheCatalogueLooksBelowTheStoreAndTheUsersFolder) {
  ASSERT_TRUE(logic_.Start(1, &events_));
  web_->user_folder = L"Users/alice";
  EXPECT_EQ(logic_.catalogue().GameFolder(L"wow"),
            install_.Folder() + L"/OBSnapshot/Users/alice/wow");
}

TEST(OBLogicCommandWithoutPartsTest, RunsWithoutTheLaterLayers) {
  TestInstall install;
  EventChain events;
  OBLogicCommand logic(install.Folder(), L"other");
  ASSERT_TRUE(logic.Start(1, &events));
  logic.OnTimer();
  logic.RunWebStartUpJobs();
  EXPECT_FALSE(logic.DispatchGamePipeInput());
  EXPECT_EQ(logic.GetUserFolder(), L"Users/All Users");
  logic.Stop();
  EXPECT_NE(ReadFile(install.Sub("sysconfig.xml")).find("<firstrun>0</firstrun>"),
            std::string::npos);
}

}  // namespace

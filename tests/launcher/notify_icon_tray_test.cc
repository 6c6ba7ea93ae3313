// The launcher's run with its real notification-area icon on the headless
// backend: the icon appears with its first tip, the update procedure's tips
// reach it from the "download" thread in order, it blinks while the
// manifest is slow to come, and it is gone when the run ends.

#include <gtest/gtest.h>

#include <filesystem>

#include "launcher/notify_icon_tray.h"
#include "launcher/ombrix_app.h"
#include "runtime/base/thread_message_queue.h"
#include "tests/support/web_standin.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/winsys/notify_icon.h"
#include "uilib/winsys/ui_backend.h"

namespace {

TEST(NotifyIconTrayTest, ShowsBlinksAndTipsTheRunThenGoes) {
  auto headless = std::make_unique<uilib::HeadlessBackend>();
  uilib::HeadlessBackend* backend = headless.get();
  auto previous = uilib::SetUiBackend(std::move(headless));

  ombrix::test::TempDir dir;
  std::filesystem::create_directories(dir.Sub("static"));
  std::filesystem::create_directories(dir.Sub("program"));
  ombrix::test::WriteFile(dir.Sub("static/version.xml"),
                          "<root><key name=\"K\" version=\"1.0\"><url name=\"x\"/></key></root>");
  ombrix::test::WebStandin::Options options;
  options.demo_user = false;
  options.extra_args = {"--static-dir", dir.Sub("static")};
  ombrix::test::WebStandin web(options);
  ASSERT_TRUE(web.running());
  // Slow enough for a few blinks.
  web.Fault("path=/version.xml&mode=slow&delay_ms=1600");

  LauncherConfig config;
  config.program_folder = dir.Sub("program");
  config.temp_folder = dir.path();
  config.manifest_url = web.base_url() + "/version.xml";
  config.data_collect_base = web.base_url();
  brx::base::ThreadMessageQueue queue;
  {
    NotifyIconTray tray(config.program_folder);
    COmbrixApp app(config, EditionIdentity{"K", "1.0"}, &tray);
    app.Run();
    EXPECT_FALSE(app.TakeOutcome().processed);
  }

  std::vector<std::wstring> seen;
  for (const auto& action : backend->Actions())
    if (action.kind.rfind("tray-", 0) == 0)
      seen.push_back(brx::util::Utf8ToWide(action.kind) + L" " + action.detail);
  ASSERT_GE(seen.size(), 5u);
  EXPECT_EQ(seen.front(), L"tray-add 100 翎岚准备更新...");
  EXPECT_EQ(seen[1], L"tray-modify 100 翎岚检查版本中...");
  EXPECT_EQ(seen.back(), L"tray-delete ");
  bool blink_a = false, blink_b = false;
  for (size_t i = 2; i + 1 < seen.size(); ++i) {
    blink_a |= seen[i] == L"tray-modify 101 翎岚检查版本中...";
    blink_b |= seen[i] == L"tray-modify 102 翎岚检查版本中...";
  }
  EXPECT_TRUE(blink_a && blink_b);
  EXPECT_EQ(uilib::GetIconResourcePath(101), dir.Sub("program") + "/tray101.png");
  uilib::SetUiBackend(std::move(previous));
}

}  // namespace

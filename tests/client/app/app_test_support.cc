#include "tests/client/app/app_test_support.h"

#include <sys/stat.h>

#include "client/core/message_ids.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/platform/event.h"
#include "runtime/util/edition.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"

bool FakeVideoChat::OnThreadMessage(const brx::base::Message& msg) {
  using namespace ombrix::messages;
  if (msg.message < kSignallingEvent || msg.message > kHeadImageDownloaded) return false;
  journal_->Add("video.Message:" + std::to_string(msg.message));
  return true;
}

bool FakeDaemonLink::Start() {
  journal_->Add("daemon.Start");
  if (start_result && connect_on_start) app_->daemon_connected_event()->Set();
  return start_result;
}

bool FakeUserInterface::TranslateMessage(const brx::base::Message& msg) {
  journal_->Add("ui.Translate:" + std::to_string(msg.message));
  return translate.count(msg.message) != 0;
}

void FakeUserInterface::DispatchMessage(const brx::base::Message& msg) {
  journal_->Add("ui.Dispatch:" + std::to_string(msg.message));
}

TestInstall::TestInstall(const std::string& edition_ini) {
  mkdir(dir_.Sub("OBSkin").c_str(), 0755);
  mkdir(dir_.Sub("OBSkin/other").c_str(), 0755);
  mkdir(dir_.Sub("games").c_str(), 0755);
  brx::util::CopyFileOver(brx::util::Utf8ToWide(ombrix::test::DistDir() + "/OBVerCustom.dll"),
                          brx::util::Utf8ToWide(dir_.Sub("OBVerCustom.dll")));
  ombrix::test::WriteFile(dir_.Sub("OBVerCustom.ini"), edition_ini);
  brx::util::SetEditionLibraryPathForTesting(dir_.Sub("OBVerCustom.dll"));
  brx::util::ResetEditionCacheForTesting();
  env_.push_back(
      std::make_unique<ombrix::test::ScopedEnv>("OMBRIX_REGISTRY_DIR", dir_.Sub("state/registry")));
  env_.push_back(
      std::make_unique<ombrix::test::ScopedEnv>("OMBRIX_LOCK_DIR", dir_.Sub("state/locks")));
  env_.push_back(
      std::make_unique<ombrix::test::ScopedEnv>("OMBRIX_PIPE_DIR", dir_.Sub("state/pipes")));
  env_.push_back(
      std::make_unique<ombrix::test::ScopedEnv>("XDG_CONFIG_HOME", dir_.Sub("state/config")));
  env_.push_back(std::make_unique<ombrix::test::ScopedEnv>("OMBRIX_FONT_CHECK", "present"));
}

TestInstall::~TestInstall() {
  brx::util::SetEditionLibraryPathForTesting("");
  brx::util::ResetEditionCacheForTesting();
}

std::wstring TestInstall::Folder() const { return brx::util::Utf8ToWide(dir_.path()); }

OBApplication::Options TestInstall::Options(Journal* journal, bool with_daemon_link) {
  OBApplication::Options options;
  options.program_folder = Folder();
  options.compose_parts = [this, journal, with_daemon_link](OBApplication& app) {
    AppParts parts;
    auto web_part = std::make_unique<FakeWebLogic>(journal);
    web = web_part.get();
    parts.web_logic = std::move(web_part);
    auto video_part = std::make_unique<FakeVideoChat>(journal);
    video = video_part.get();
    if (configure_video) configure_video(video);
    parts.video_chat = std::move(video_part);
    auto game_part = std::make_unique<FakeGameLink>(journal);
    game = game_part.get();
    if (configure_game) configure_game(game);
    parts.game_link = std::move(game_part);
    if (with_daemon_link && app.install_hook()) {
      auto daemon_part = std::make_unique<FakeDaemonLink>(journal, &app);
      daemon = daemon_part.get();
      if (configure_daemon) configure_daemon(daemon);
      parts.daemon_link = std::move(daemon_part);
    }
    return parts;
  };
  return options;
}

// Installs the build into a temporary prefix after the main client has run
// in the build's own install folder (as the demo does) and left its run
// state there: the install must hold what a fresh install holds, and none
// of that state.

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "runtime/platform/process.h"
#include "tests/support/installed_host.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace {

namespace fs = std::filesystem;
using ombrix::test::DistDir;
using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;
using ombrix::test::WriteFile;

// What a run leaves in the install folder, by path relative to it.
const char* const kRunState[] = {"Log",   "sysconfig.xml", "gsc",
                                 "Users", "OBSnapshot",    "games/wow.xml"};

// Puts the build's install folder back as it was: every top-level entry
// and game file that was not there before goes, and the default game file
// gets its old content back.
class DistFolderRestorer {
 public:
  DistFolderRestorer() : dist_(DistDir()), game_file_(ReadFile(dist_ + "/games/other.xml")) {
    for (const auto& e : fs::directory_iterator(dist_)) before_.insert(e.path().filename());
    for (const auto& e : fs::directory_iterator(dist_ + "/games"))
      before_.insert("games/" + e.path().filename().string());
  }
  ~DistFolderRestorer() {
    std::error_code ignored;
    for (const auto& e : fs::directory_iterator(dist_))
      if (!before_.count(e.path().filename())) fs::remove_all(e.path(), ignored);
    for (const auto& e : fs::directory_iterator(dist_ + "/games"))
      if (!before_.count("games/" + e.path().filename().string()))
        fs::remove_all(e.path(), ignored);
    WriteFile(dist_ + "/games/other.xml", game_file_);
  }

 private:
  std::string dist_;
  std::string game_file_;
  std::set<std::string> before_;
};

// Every path below `root`, relative to it, folders ending in "/".
std::set<std::string> TreeOf(const std::string& root) {
  std::set<std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    tree.insert(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
  return tree;
}

TEST(InstallLayoutTest, AnInstallAfterADemoRunHoldsOnlyWhatAFreshInstallShould) {
  const std::string dist = DistDir();
  DistFolderRestorer restorer;
  TempDir state;
  ombrix::test::WebStandin web;
  ASSERT_TRUE(web.running());
  ScopedEnv pipes("OMBRIX_PIPE_DIR", state.Sub("pipes"));
  ScopedEnv locks("OMBRIX_LOCK_DIR", state.Sub("locks"));
  ScopedEnv registry("OMBRIX_REGISTRY_DIR", state.Sub("registry"));
  ScopedEnv config("XDG_CONFIG_HOME", state.Sub("config"));
  ScopedEnv home("HOME", state.Sub("home"));
  ScopedEnv fonts("OMBRIX_FONT_CHECK", "present");
  ScopedEnv static_host("OMBRIX_STATIC_HOST", web.base_url());
  // Its windows are made, but kept in memory whatever display this runs on.
  ScopedEnv ui("OMBRIX_UI", "headless");

  // The demo's run: the client downloads its server configuration, writes
  // its log and its settings, and stops in order.
  {
    ombrix::test::HostProcess host(dist + "/OBHost.exe", {"--gui"}, state.Sub("stderr"));
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(web.WaitForRequests("/gsc"));
    ASSERT_TRUE(WaitUntil([&] { return ombrix::test::PathExists(dist + "/gsc"); }));
    ASSERT_TRUE(host.Signal(SIGTERM));
    ASSERT_EQ(host.WaitForExit(), 0) << host.Stderr();
  }
  ASSERT_TRUE(fs::is_directory(dist + "/Log"));
  ASSERT_TRUE(fs::exists(dist + "/sysconfig.xml"));
  // What a longer session leaves: screenshots, a signed-in user's folder,
  // the user's own game settings and a second game's file.
  fs::create_directories(dist + "/OBSnapshot/other");
  WriteFile(dist + "/OBSnapshot/other/shot.jpg", "jpeg");
  fs::create_directories(dist + "/Users/demo");
  WriteFile(dist + "/Users/demo/head.jpg", "jpeg");
  WriteFile(dist + "/games/other.xml", "<root><game id=\"other\" name=\"mine\"/></root>\n");
  WriteFile(dist + "/games/wow.xml", "<root><game id=\"wow\"/></root>\n");

  TempDir prefix;
  auto install = brx::platform::ChildProcess::Spawn(
      {OMBRIX_CMAKE_COMMAND,
       {"--install", ombrix::test::BinaryDir(), "--prefix", prefix.path()},
       ""});
  ASSERT_TRUE(install);
  int status = -1;
  ASSERT_TRUE(install->Wait(120000, &status));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const std::string root = prefix.Sub("ombrix");
  std::set<std::string> tree = TreeOf(root);
  for (const char* program : {"OBHost.exe", "OBHost.exe.bin", "OBDaemon.exe", "OBBugreporter.exe",
                              "Ombrix.exe", "OBUninstall.exe", "OBUpdateAplldr.exe"}) {
    EXPECT_TRUE(tree.count(program)) << program;
    struct stat st {};
    EXPECT_TRUE(stat((root + "/" + program).c_str(), &st) == 0 && (st.st_mode & S_IXUSR))
        << program;
  }
  for (const char* file :
       {"OBVerCustom.dll", "OBVerCustom.ini", "OBDaemon.dll", "OBSkin/other/", "OBUninstall.xml",
        "tray100.png", "html/Default.html", "html/ucard.htm", "OBPaint/other/AvatarEditor.html"})
    EXPECT_TRUE(tree.count(file)) << file;
  EXPECT_EQ(ReadFile(root + "/games/other.xml"),
            ReadFile(ombrix::test::SourceDir() + "/client/host/games/other.xml"));
  for (const char* name : kRunState) EXPECT_FALSE(fs::exists(root + "/" + name)) << name;
  // Nothing else that only a run makes: no logs, dumps or pipes anywhere.
  for (const auto& path : tree) {
    EXPECT_EQ(path.find(".log"), std::string::npos) << path;
    EXPECT_EQ(path.find(".dmp"), std::string::npos) << path;
    EXPECT_EQ(path.find(".gitkeep"), std::string::npos) << path;
  }
}

}  // namespace

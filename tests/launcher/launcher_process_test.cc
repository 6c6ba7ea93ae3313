// The real Ombrix.exe in a private install folder against the web stand-in,
// which serves the version manifest and patch archives made with 7z.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "runtime/platform/process.h"
#include "runtime/platform/registry_store.h"
#include "runtime/platform/single_instance_lock.h"
#include "tests/launcher/patch_archive.h"
#include "tests/support/web_standin.h"

namespace {

namespace fs = std::filesystem;
using brx::platform::Hive;
using ombrix::test::PathExists;
using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;
using ombrix::test::WebStandin;
using ombrix::test::WriteFile;

constexpr char kKey[] = "OB-DEMO";
constexpr char kOldVersion[] = "2.3.109.05";
constexpr char kNewVersion[] = "2.3.110.01";
constexpr char kEditionKey[] = "SOFTWARE\\Dorsk\\Ombrix\\OB-DEMO";

// A file's bytes, or for a large one (the programs) its checksum.
std::string Contents(const std::string& path) {
  std::string bytes(fs::file_size(path), '\0');
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "unreadable";
  bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
  fclose(f);
  return bytes.size() < 4096 ? bytes : "#" + std::to_string(std::hash<std::string>()(bytes));
}

// Every file below a folder with its bytes and permission bits; the
// program's own "Log" and the archive folder "patch" are left out.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const std::string& folder) {
  Tree tree;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator();
       ++it) {
    std::string rel = fs::relative(it->path(), folder).string();
    if (rel == "Log" || rel == "patch") {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    lstat(it->path().c_str(), &st);
    std::string kind = S_ISDIR(st.st_mode) ? "dir" : Contents(it->path().string());
    tree[rel] = std::to_string(st.st_mode & 0777) + ":" + kind;
  }
  return tree;
}

class LauncherProcessTest : public ::testing::Test {
 protected:
  LauncherProcessTest() : web_(WebOptions(dir_.Sub("static"))) {
    for (const char* sub : {"program", "static/m", "state", "tmp", "elsewhere/Log"})
      fs::create_directories(dir_.Sub(sub));
    // What lies in the launcher's working folder is none of its business.
    WriteFile(dir_.Sub("elsewhere/Log/keep.log"), "not the launcher's");
    WriteFile(dir_.Sub("elsewhere/OBVerCustom.dll.update"), "not the launcher's");
    for (const char* name :
         {"Ombrix.exe", "OBVerCustom.dll", "OBVerCustom.ini", "OBUpdateAplldr.exe"})
      fs::copy_file(ombrix::test::DistDir() + "/" + name, Program(name));
    // The main client stands in as a script that records how it was started.
    WriteFile(Program("OBHost.exe"),
              "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '" +
                  dir_.Sub("state/host.record") + "'\n");
    chmod(Program("OBHost.exe").c_str(), 0755);
    WriteFile(Program("a.txt"), "old a\n");
    WriteFile(Program("ro.txt"), "old read-only\n");
    chmod(Program("ro.txt").c_str(), 0444);
    fs::create_directories(Program("Log"));
    WriteFile(Program("Log/old.log"), "an old log\n");
    for (auto [name, value] : std::initializer_list<std::pair<const char*, std::string>>{
             {"OMBRIX_LOCK_DIR", dir_.Sub("state/locks")},
             {"OMBRIX_PIPE_DIR", dir_.Sub("state/pipes")},
             {"OMBRIX_REGISTRY_DIR", dir_.Sub("state/registry")},
             {"TMPDIR", dir_.Sub("tmp")},
             {"OMBRIX_STATIC_HOST", web_.base_url()},
             {"OMBRIX_DC_HOST", web_.base_url()},
             {"OMBRIX_TRAY_RECORD", dir_.Sub("state/tray.record")},
             {"OMBRIX_UPDATER_RECORD", dir_.Sub("state/updater.record")}})
      env_.push_back(std::make_unique<ScopedEnv>(name, value));
  }

  static WebStandin::Options WebOptions(const std::string& static_dir) {
    WebStandin::Options options;
    options.demo_user = false;
    options.extra_args = {"--static-dir", static_dir};
    return options;
  }

  std::string Program(const std::string& name) const { return dir_.Sub("program/" + name); }
  // The launcher's private folder, where it extracts and backs up.
  std::string Work(const std::string& name = "") const {
    return dir_.Sub("tmp/ombrix-tmp-" + std::to_string(getuid())) +
           (name.empty() ? "" : "/" + name);
  }

  void OfferVersion(const std::string& version, const std::string& mirror_path = "/m/patch.7z") {
    WriteFile(dir_.Sub("static/version.xml"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root>\n  <key name=\"OTHER\" "
              "version=\"9.9\"/>\n"
              "  <key name=\"" +
                  std::string(kKey) + "\" version=\"" + version +
                  "\">\n"
                  "    <url name=\"" +
                  web_.base_url() + mirror_path + "\"/>\n  </key>\n</root>\n");
  }

  // Runs the launcher to its end from a folder of its own (as a desktop
  // entry or the log-on start would); its exit code, -2000 - signal when a
  // signal ended it.
  int RunLauncher(const std::vector<std::string>& args = {},
                  std::chrono::seconds limit = std::chrono::seconds(60)) {
    auto launcher =
        brx::platform::ChildProcess::Spawn({Program("Ombrix.exe"), args, dir_.Sub("elsewhere")});
    if (!launcher) return -1;
    int status = 0;
    if (!launcher->Wait(static_cast<int>(limit.count() * 1000), &status)) {
      launcher->Signal(SIGKILL);
      launcher->Wait(-1);
      return -1000;
    }
    return WIFSIGNALED(status) ? -2000 - WTERMSIG(status) : WEXITSTATUS(status);
  }

  // The main client's start as recorded: working folder, then each argument.
  std::vector<std::string> ClientStart() {
    std::string path = dir_.Sub("state/host.record");
    if (!WaitUntil([&] { return PathExists(path) && !ReadFile(path).empty(); })) return {};
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    fs::remove(path);
    return lines;
  }

  std::vector<std::string> Reports() {
    std::vector<std::string> reports;
    for (const auto& r : web_.RequestsTo("/news.ashx")) reports.push_back(r.Param("d"));
    return reports;
  }

  std::string RegistryVersion(Hive hive) {
    std::string value;
    brx::platform::registry::ReadString(hive, kEditionKey, "Version", &value);
    return value;
  }

  std::string Log() {
    std::string all;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Program("Log"), ec))
      all += ReadFile(entry.path().string());
    return all;
  }

  TempDir dir_;
  WebStandin web_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  int runs_ = 0;
};

TEST_F(LauncherProcessTest, UpdateInstallsAndStartsTheClientWithTheLauncherArguments) {
  PatchArchive patch(dir_.Sub("static/m/patch.7z"));
  patch.Add("a.txt", "new a\n");
  patch.Add("ro.txt", "new read-only\n", 0444);
  patch.Add("sub/deeper/b.dll", "new library\n");
  patch.Add("OBVerCustom.dll.update",
            ReadFile(ombrix::test::BinaryDir() + "/standin/edition-next/OBVerCustom.dll"));
  std::mt19937 random(7);
  std::string blob(250000, '\0');
  for (char& c : blob) c = static_cast<char>(random());  // does not compress
  patch.Add("data/blob.bin", blob);
  ASSERT_TRUE(patch.MakeWith7z());
  OfferVersion(kNewVersion);
  // Sent slowly enough for the tip to show the progress.
  web_.Fault("path=/m/patch.7z&mode=throttle&bytes_per_s=100000");
  // Whatever lies in the extraction folder beforehand is not installed.
  std::string work = dir_.Sub("tmp/ombrix-tmp-" + std::to_string(getuid()));
  fs::create_directories(work + "/OBUpdateAplldr");
  WriteFile(work + "/OBUpdateAplldr/planted.txt", "planted");

  ASSERT_EQ(RunLauncher({"one", "two words"}), 0);
  EXPECT_EQ(ClientStart(),
            (std::vector<std::string>{dir_.Sub("program"), "one", "two words", "--gui"}));
  ASSERT_TRUE(WaitUntil([&] { return PathExists(dir_.Sub("state/updater.record")); }));
  EXPECT_EQ(ReadFile(dir_.Sub("state/updater.record")),
            "ran cwd=" + dir_.Sub("program") + " argc=0\n");

  Tree tree = Snapshot(dir_.Sub("program"));
  EXPECT_EQ(tree["a.txt"], "420:new a\n");
  EXPECT_EQ(tree["ro.txt"], "292:new read-only\n");  // still read-only
  EXPECT_EQ(tree["sub/deeper/b.dll"], "420:new library\n");
  EXPECT_EQ(ReadFile(Program("OBVerCustom.dll")),
            ReadFile(ombrix::test::BinaryDir() + "/standin/edition-next/OBVerCustom.dll"));
  EXPECT_FALSE(PathExists(Program("OBVerCustom.dll.update")));
  EXPECT_FALSE(PathExists(Program("patch/patch.7z")));
  EXPECT_FALSE(PathExists(Program("Log/old.log")));
  EXPECT_FALSE(PathExists(Program("planted.txt")));
  EXPECT_EQ(ReadFile(dir_.Sub("elsewhere/Log/keep.log")), "not the launcher's");
  EXPECT_EQ(ReadFile(dir_.Sub("elsewhere/OBVerCustom.dll.update")), "not the launcher's");
  EXPECT_FALSE(PathExists(work + "/OBUpdateAplldr"));
  EXPECT_FALSE(PathExists(work + "/OBUpdateAplldr.old"));

  // The registry holds the installed version, not the one read before the patch.
  EXPECT_EQ(RegistryVersion(Hive::kLocalMachine), kNewVersion);
  EXPECT_EQ(RegistryVersion(Hive::kCurrentUser), kNewVersion);
  std::string directory;
  brx::platform::registry::ReadString(Hive::kCurrentUser, kEditionKey, "Directory", &directory);
  EXPECT_EQ(directory, dir_.Sub("program"));

  ASSERT_TRUE(web_.WaitForRequests("/news.ashx", 2));
  std::vector<std::string> reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].rfind("R2|", 0), 0u);
  EXPECT_EQ(reports[1], "R8|1");
  EXPECT_EQ(web_.RequestsTo("/news.ashx")[1].Param("vkey"), kKey);
  ASSERT_EQ(web_.RequestsTo("/m/patch.7z").size(), 1u);
  EXPECT_TRUE(web_.RequestsTo("/m/patch.7z")[0].HasParam("tick"));

  std::string tray = ReadFile(dir_.Sub("state/tray.record"));
  size_t at = 0;
  for (const char* step :
       {"add 100 翎岚准备更新...", "tip 翎岚检查版本中...", "tip 翎岚准备下载...",
        "tip 翎岚下载中...", "icon 101", "icon 102", "tip 翎岚补丁安装中...", "remove"}) {
    at = tray.find(step, step[0] == 'i' ? 0 : at);
    EXPECT_NE(at, std::string::npos) << step << " in\n" << tray;
    if (at == std::string::npos) break;
  }
}

// Hostile manifests among them: ones that would crash the parser, read
// past its text or eat the memory and the disk. The launcher gives up on
// the update as soon as it can tell.
TEST_F(LauncherProcessTest, WithoutAnUpdateTheClientStartsAndNoEndReportIsSent) {
  std::string deep = "<root>";
  for (int i = 0; i < 60000; ++i) deep += "<a>";
  std::string huge = "<root>";
  while (huge.size() < (4 << 20)) huge += "<a/>";
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* log_line;
  } cases[] = {
      {"same version", [&] { OfferVersion(kOldVersion); }, ""},
      {"no manifest", [&] { fs::remove(dir_.Sub("static/version.xml")); }, "URLDownloadToFile"},
      {"not xml", [&] { WriteFile(dir_.Sub("static/version.xml"), "<root><key"); }, "Parse "},
      {"no mirror",
       [&] {
         WriteFile(dir_.Sub("static/version.xml"),
                   "<root><key name=\"OB-DEMO\" version=\"3\"/></root>");
       },
       ""},
      {"deep", [&] { WriteFile(dir_.Sub("static/version.xml"), deep); }, "Parse "},
      {"cut inside a character",
       [&] {
         WriteFile(dir_.Sub("static/version.xml"),
                   "<root><key name=\"OB-DEMO\" version=\"3\xe7\xbf");
       },
       "Parse "},
      {"huge", [&] { WriteFile(dir_.Sub("static/version.xml"), huge + "</root>"); },
       "passed 262144 bytes; request failed"},
      {"endless",
       [&] {
         OfferVersion(kNewVersion);
         web_.Fault("path=/version.xml&mode=endless");
       },
       "passed 262144 bytes; request failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    Tree before = Snapshot(dir_.Sub("program"));
    ASSERT_EQ(RunLauncher(), 0);
    EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
    EXPECT_EQ(Snapshot(dir_.Sub("program")), before);
    EXPECT_EQ(RegistryVersion(Hive::kCurrentUser), kOldVersion);
    if (*c.log_line) {
      EXPECT_NE(Log().find(c.log_line), std::string::npos) << Log();
    }
    fs::remove_all(Program("Log"));
  }
  EXPECT_TRUE(web_.RequestsTo("/m/patch.7z").empty());
  ASSERT_TRUE(web_.WaitForRequests("/news.ashx", std::size(cases)));
  for (const std::string& d : Reports()) EXPECT_EQ(d.rfind("R2|", 0), 0u) << d;
}

// Each way an installation can fail leaves every file of the old tree as
// it was, bytes and permissions, and the client is started all the same.
TEST_F(LauncherProcessTest, AFailedInstallationLeavesTheOldTreeByteIdentical) {
  // A bound a test can reach quickly; the real one is far above any patch.
  ScopedEnv cap("OMBRIX_PATCH_CAP_BYTES_FOR_TESTING", "1048576");
  fs::create_directories(Program("plugins"));
  WriteFile(Program("plugins/p.dll"), "old plugin\n");
  // Sorts after every other entry, so the files before it are replaced first.
  WriteFile(Program("zzdata"), "a file where the patch wants a folder\n");
  struct Case {
    const char* name;
    std::function<bool(PatchArchive&)> make;
    const char* log_line;
    bool processed;  // the archive arrived and was tried
  } cases[] = {
      {"a folder stands where a file goes",
       [&](PatchArchive& p) {
         fs::create_directories(Program("zz.dll"));
         p.Add("zz.dll", "x");
         return p.MakeWith7z();
       },
       "Backup ", true},
      {"a file cannot be written",
       [&](PatchArchive& p) {
         p.Add("zzdata/new.bin", "x");
         return p.MakeWith7z();
       },
       "CopyFile ", true},
      {"a corrupt archive", [&](PatchArchive& p) { return p.MakeCorrupt(); },
       "decode 7z file failed", true},
      {"an entry escaping the folder",
       [&](PatchArchive& p) {
         p.Add("../escaped.txt", "x");
         return p.MakeWithLibarchive();
       },
       "decode 7z file failed", true},
      {"a link entry",
       [&](PatchArchive& p) {
         p.AddSymlink("link.txt", "/etc/passwd");
         return p.MakeWithLibarchive();
       },
       "decode 7z file failed", true},
      {"a patch that unpacks past its bound",
       [&](PatchArchive& p) {
         p.Add("zz-bomb.bin", std::string(64 << 20, '\0'));
         return p.MakeWith7z();
       },
       "unpacks to more than", true},
      {"a truncated download",
       [&](PatchArchive& p) {
         web_.Fault("path=/m/patch.7z&mode=truncate");
         return p.MakeWith7z();
       },
       "URLDownloadToFile", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PatchArchive patch(dir_.Sub("static/m/patch.7z"));
    // Files the patch replaces and adds before the one that fails.
    patch.Add("a.txt", "new a\n");
    patch.Add("plugins/p.dll", "new plugin\n");
    patch.Add("ro.txt", "new read-only\n", 0444);
    patch.Add("added/new.dll", "new file\n");
    patch.Add("OBVerCustom.dll.update", "staged library");
    ASSERT_TRUE(c.make(patch));
    OfferVersion(kNewVersion);
    size_t reports_before = web_.RequestsTo("/news.ashx").size();
    Tree before = Snapshot(dir_.Sub("program"));

    ASSERT_EQ(RunLauncher(), 0);
    EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
    EXPECT_EQ(Snapshot(dir_.Sub("program")), before);
    EXPECT_FALSE(PathExists(dir_.Sub("escaped.txt")));
    EXPECT_FALSE(PathExists(Work("OBUpdateAplldr")));
    EXPECT_FALSE(PathExists(Work("OBUpdateAplldr.old")));
    EXPECT_NE(Log().find(c.log_line), std::string::npos) << Log();
    EXPECT_EQ(RegistryVersion(Hive::kLocalMachine), kOldVersion);
    size_t expected_reports = reports_before + (c.processed ? 2 : 1);
    ASSERT_TRUE(web_.WaitForRequests("/news.ashx", expected_reports));
    EXPECT_EQ(Reports().back() == "R8|1", c.processed);
    fs::remove_all(Program("zz.dll"));
    fs::remove_all(Program("Log"));
  }
}

TEST_F(LauncherProcessTest, ALauncherKilledMidCopyRollsBackAtItsNextStart) {
  PatchArchive patch(dir_.Sub("static/m/patch.7z"));
  patch.Add("a.txt", "new a\n");
  patch.Add("new/one.dll", "one\n");
  patch.Add("ro.txt", "new read-only\n", 0444);
  patch.Add("z-last.txt", "never copied\n");
  ASSERT_TRUE(patch.MakeWith7z());
  OfferVersion(kNewVersion);
  Tree before = Snapshot(dir_.Sub("program"));
  {
    ScopedEnv kill("OMBRIX_KILL_INSTALL_AFTER_FOR_TESTING", "3");
    EXPECT_EQ(RunLauncher(), -2000 - SIGKILL);
  }
  ASSERT_NE(Snapshot(dir_.Sub("program")), before);  // cut short half way

  OfferVersion(kOldVersion);  // the mirror has nothing to offer any more
  ASSERT_EQ(RunLauncher(), 0);
  EXPECT_EQ(Snapshot(dir_.Sub("program")), before);
  EXPECT_NE(Log().find("rolled back"), std::string::npos);
  EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
}

TEST_F(LauncherProcessTest, AStalledServerCannotHoldTheLauncherPastItsCap) {
  OfferVersion(kNewVersion);
  web_.Fault("path=/version.xml&mode=timeout&hold_ms=60000");
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunLauncher({}, std::chrono::seconds(30)), 0);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::seconds(9));  // the manifest's cap, not a quick failure
  EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
  EXPECT_NE(Log().find("URLDownloadToFile"), std::string::npos);
}

TEST_F(LauncherProcessTest, ASecondLauncherAndALauncherBesideTheClientExitSilently) {
  OfferVersion(kNewVersion);
  for (const char* held : {"Global\\OMBRIX_MUTEX", "Global\\OBHOST_MUTEX"}) {
    SCOPED_TRACE(held);
    std::unique_ptr<brx::platform::SingleInstanceLock> lock;
    ASSERT_EQ(brx::platform::SingleInstanceLock::Acquire(held, &lock),
              brx::platform::SingleInstanceLock::Result::kAcquired);
    ASSERT_EQ(RunLauncher(), 0);
  }
  EXPECT_FALSE(PathExists(dir_.Sub("state/host.record")));
  EXPECT_FALSE(PathExists(dir_.Sub("state/updater.record")));
  EXPECT_FALSE(PathExists(dir_.Sub("state/registry/HKCU.xml")));
  EXPECT_FALSE(PathExists(dir_.Sub("state/tray.record")));
  EXPECT_TRUE(web_.Requests().empty());
  EXPECT_EQ(ReadFile(Program("Log/old.log")), "an old log\n");
}

// A patch made on Windows has no permission bits, only attributes: files
// it replaces keep their modes, new ones get the usual ones, and nothing
// becomes writable by other users.
TEST_F(LauncherProcessTest, AWindowsMadePatchKeepsModesSaneAndTheClientStarts) {
  std::string host = ReadFile(Program("OBHost.exe")) + "# patched\n";
  PatchArchive patch(dir_.Sub("static/m/patch.7z"));
  patch.Add("OBHost.exe", host);
  patch.Add("a.txt", "new a\n");
  patch.Add("ro.txt", "new read-only\n", 0444);
  patch.Add("sub/new.dll", "new library\n");
  ASSERT_TRUE(patch.MakeWithWindowsAttributes());
  OfferVersion(kNewVersion);

  ASSERT_EQ(RunLauncher(), 0);
  EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
  EXPECT_EQ(ReadFile(Program("OBHost.exe")), host);
  Tree tree = Snapshot(dir_.Sub("program"));
  EXPECT_EQ(tree["OBHost.exe"].substr(0, 4), "493:");  // 0755
  EXPECT_EQ(tree["a.txt"], "420:new a\n");
  EXPECT_EQ(tree["ro.txt"], "292:new read-only\n");
  EXPECT_EQ(tree["sub/new.dll"], "420:new library\n");
  for (const auto& [name, entry] : tree) EXPECT_EQ(std::stoi(entry) & 022, 0) << name;
}

// The install's "Log" folder may be a link to somewhere else: clearing it
// removes the link, never what it points to.
TEST_F(LauncherProcessTest, ALinkedLogFolderLosesTheLinkNotItsTarget) {
  fs::remove_all(Program("Log"));
  fs::create_directories(dir_.Sub("precious"));
  WriteFile(dir_.Sub("precious/letter.txt"), "mine");
  fs::create_directory_symlink(dir_.Sub("precious"), Program("Log"));
  PatchArchive patch(dir_.Sub("static/m/patch.7z"));
  patch.Add("a.txt", "new a\n");
  ASSERT_TRUE(patch.MakeWith7z());
  OfferVersion(kNewVersion);

  ASSERT_EQ(RunLauncher(), 0);
  EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
  EXPECT_EQ(ReadFile(dir_.Sub("precious/letter.txt")), "mine");
  EXPECT_FALSE(fs::is_symlink(Program("Log")));
  EXPECT_EQ(ReadFile(Program("a.txt")), "new a\n");
}

// The file whose copy failed was never replaced: the roll-back has
// nothing to put back there, so it succeeds, the journal goes, and the
// next patch is not refused as pending.
TEST_F(LauncherProcessTest, ARollBackAroundAFileNeverReplacedEndsTheAttemptCleanly) {
  WriteFile(Program("z.txt"), "old z\n");
  // Where the new z.txt would be written first stands a folder.
  fs::create_directories(Program(".z.txt.obpart"));
  auto old_time = fs::last_write_time(Program("a.txt")) - std::chrono::hours(72);
  fs::last_write_time(Program("a.txt"), old_time);
  PatchArchive patch(dir_.Sub("static/m/patch.7z"));
  patch.Add("a.txt", "new a\n");
  patch.Add("z.txt", "new z\n");
  ASSERT_TRUE(patch.MakeWith7z());
  OfferVersion(kNewVersion);
  Tree before = Snapshot(dir_.Sub("program"));

  ASSERT_EQ(RunLauncher(), 0);
  EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
  EXPECT_EQ(Snapshot(dir_.Sub("program")), before);
  EXPECT_EQ(fs::last_write_time(Program("a.txt")), old_time);
  EXPECT_NE(Log().find("CopyFile "), std::string::npos) << Log();
  EXPECT_EQ(Log().find("Rollback"), std::string::npos) << Log();
  EXPECT_FALSE(PathExists(Work("OBUpdateAplldr")));
  EXPECT_FALSE(PathExists(Work("OBUpdateAplldr.old")));

  // The next patch leaves z.txt alone and installs.
  PatchArchive next(dir_.Sub("static/m/patch.7z"));
  next.Add("a.txt", "newer a\n");
  ASSERT_TRUE(next.MakeWith7z());
  OfferVersion("2.3.111.01");
  ASSERT_EQ(RunLauncher(), 0);
  EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
  EXPECT_EQ(ReadFile(Program("a.txt")), "newer a\n");
  EXPECT_EQ(ReadFile(Program("z.txt")), "old z\n");
  EXPECT_EQ(RegistryVersion(Hive::kCurrentUser), "2.3.111.01");
  EXPECT_EQ(Log().find("pending"), std::string::npos) << Log();
}

// A patch download is bounded in size as in time, and what a killed
// launcher left of one is gone after the next start.
TEST_F(LauncherProcessTest, PatchDownloadsAreBoundedAndLeaveNothingBehind) {
  std::mt19937 random(11);
  std::string blob(3 << 20, '\0');
  for (char& c : blob) c = static_cast<char>(random());
  PatchArchive patch(dir_.Sub("static/m/patch.7z"));
  patch.Add("blob.bin", blob);
  ASSERT_TRUE(patch.MakeWith7z());
  OfferVersion(kNewVersion);
  Tree before = Snapshot(dir_.Sub("program"));

  // Killed half way through the download.
  web_.Fault("path=/m/patch.7z&mode=throttle&bytes_per_s=200000");
  auto launcher =
      brx::platform::ChildProcess::Spawn({Program("Ombrix.exe"), {}, dir_.Sub("elsewhere")});
  ASSERT_TRUE(launcher);
  auto part = [&] {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Program("patch"), ec))
      if (entry.path().filename().string().rfind("patch.7z.part-", 0) == 0 &&
          entry.file_size(ec) > 0)
        return true;
    return false;
  };
  EXPECT_TRUE(WaitUntil(part, std::chrono::seconds(30)));
  launcher->Signal(SIGKILL);
  launcher->Wait(-1);
  ASSERT_TRUE(part());

  // Endless, past the (lowered) cap of a patch.
  web_.Fault("path=/m/patch.7z&mode=endless");
  {
    ScopedEnv cap("OMBRIX_PATCH_CAP_BYTES_FOR_TESTING", "4194304");
    ASSERT_EQ(RunLauncher(), 0);
  }
  EXPECT_EQ(ClientStart(), (std::vector<std::string>{dir_.Sub("program"), "--gui"}));
  EXPECT_NE(Log().find("passed 4194304 bytes; request failed"), std::string::npos) << Log();
  EXPECT_EQ(Snapshot(dir_.Sub("program")), before);
  EXPECT_FALSE(part());
  EXPECT_TRUE(fs::is_empty(Program("patch")));
}

}  // namespace

// The main client with the hook daemon, both as real processes from a
// private install folder: the client starts the daemon and waits for its
// pipe, each side ends with the other, stale daemons are stopped first;
// and a crash of the client reaches the image storage server.

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>

#include "runtime/io/ipc/ipc_service_server.h"
#include "runtime/platform/process.h"
#include "runtime/util/gzip.h"
#include "runtime/util/process_util.h"
#include "runtime/util/text_convert.h"
#include "tests/support/installed_host.h"
#include "tests/support/web_standin.h"

namespace {

namespace fs = std::filesystem;
using ombrix::test::InstalledHost;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;

constexpr char kHookEdition[] = "GameId=other\nKey=OB-DEMO\nInstallHook=1\n";

class DaemonLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"OBDaemon.exe", "OBDaemon.dll", "OBBugreporter.exe"})
      host_.CopyFromDist(name);
    host_.WriteEditionValues(kHookEdition);
  }
  // The hook library's calls, by name.
  std::string Calls() const {
    std::string text = ombrix::test::ReadFile(host_.Scratch("calls")), names;
    for (size_t pos = 0; pos < text.size(); pos = text.find('\n', pos) + 1)
      names += text.substr(pos, text.find(' ', pos) - pos) + ";";
    return names;
  }
  pid_t DaemonPid() const {
    pid_t pid = 0;
    return brx::util::FindProcessByPath(brx::util::Utf8ToWide(host_.Path("OBDaemon.exe")), &pid)
               ? pid
               : 0;
  }
  bool Running(ombrix::test::HostProcess* host) {
    return !host->HasExited() && host_.LogHas("[OBHost.exe]2.3.109.05 start");
  }

  InstalledHost host_;
  ScopedEnv record_{"OMBRIX_HOOK_RECORD", host_.Scratch("calls")};
  ScopedEnv fail_{"OMBRIX_HOOK_FAIL", std::nullopt};
  ScopedEnv grace_{"OMBRIX_UNHOOK_GRACE_MS_FOR_TESTING", "0"};
};

TEST_F(DaemonLinkTest, ADaemonThatDiesEndsTheClientInOrder) {
  auto host = host_.Run();
  ASSERT_TRUE(WaitUntil([&] { return Running(host.get()); }, std::chrono::seconds(20)))
      << host_.Log();
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;InstallGlobalHook;");
  pid_t daemon = DaemonPid();
  ASSERT_NE(daemon, 0);
  kill(daemon, SIGKILL);
  EXPECT_EQ(host->WaitForExit(), 0);
  EXPECT_TRUE(host_.LogHas("[OBHost.exe]2.3.109.05 exit"));
}

TEST_F(DaemonLinkTest, EndingTheClientMakesTheDaemonRemoveTheHookAndQuit) {
  auto host = host_.Run();
  ASSERT_TRUE(WaitUntil([&] { return Running(host.get()); }, std::chrono::seconds(20)))
      << host_.Log();
  pid_t daemon = DaemonPid();
  ASSERT_NE(daemon, 0);
  host->Signal(SIGTERM);
  EXPECT_EQ(host->WaitForExit(), 0);
  EXPECT_TRUE(WaitUntil([&] { return DaemonPid() == 0; }, std::chrono::seconds(15)));
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;InstallGlobalHook;UninstallGlobalHook;");
}

// Stands in for the client that started a daemon and then vanished
// without telling it: the daemon stays, linked to this pipe end.
class OldClientEnd : public brx::io::ipc::IPCServiceServer {
 public:
  ~OldClientEnd() override { Stop(); }
  std::atomic<bool> connected{false};

 protected:
  void OnConnect(brx::io::ConnectionId, const std::wstring&) override { connected = true; }
  void OnDisconnect(brx::io::ConnectionId, int) override {}
  void NotifyBatch() override {}
  void OnMessage(const brx::io::QueuedMessage&) override {}
};

TEST_F(DaemonLinkTest, AStaleDaemonIsStoppedBeforeTheNewOneStarts) {
  OldClientEnd old_client;
  ASSERT_TRUE(old_client.Start());
  ASSERT_TRUE(old_client.Listen(L"ombrix.ipc.obdaemonexe", false));
  auto stale = brx::platform::ChildProcess::Spawn({host_.Path("OBDaemon.exe"), {}, ""});
  ASSERT_TRUE(stale);
  ASSERT_TRUE(WaitUntil([&] { return old_client.connected.load(); }));

  auto host = host_.Run();
  ASSERT_TRUE(WaitUntil([&] { return Running(host.get()); }, std::chrono::seconds(30)))
      << host_.Log();
  EXPECT_TRUE(stale->Wait(10000));
  std::string calls = ombrix::test::ReadFile(host_.Scratch("calls"));
  std::string stale_pid = "pid=" + std::to_string(stale->pid());
  // The stale daemon took its hook away before the new one installed its own.
  size_t removed = calls.find("UninstallGlobalHook " + stale_pid);
  size_t installed_again = calls.rfind("InstallGlobalHook pid=");
  ASSERT_NE(removed, std::string::npos) << calls;
  EXPECT_GT(installed_again, removed) << calls;
  host->Signal(SIGTERM);
  EXPECT_EQ(host->WaitForExit(), 0);
}

TEST_F(DaemonLinkTest, ADaemonThatNeverConnectsFailsTheStart) {
  ScopedEnv fail("OMBRIX_HOOK_FAIL", "calc");  // the daemon gives up before connecting
  auto host = host_.Run();
  EXPECT_EQ(host->WaitForExit(std::chrono::seconds(40)), 255);
  EXPECT_TRUE(host_.LogHas("WaitForSingleObject " + host_.Path("OBDaemon.exe") + " failed\n"))
      << host_.Log();
  EXPECT_FALSE(host_.LogHas("[OBHost.exe]2.3.109.05 start"));
}

TEST_F(DaemonLinkTest, WithoutTheHookFlagThereIsNoDaemonNoPipeAndNoWait) {
  host_.WriteEditionValues("GameId=other\nKey=OB-DEMO\nInstallHook=0\n");
  auto host = host_.Run();
  ASSERT_TRUE(WaitUntil([&] { return Running(host.get()); }, std::chrono::seconds(10)))
      << host_.Log();
  EXPECT_EQ(DaemonPid(), 0);
  EXPECT_FALSE(ombrix::test::PathExists(host_.PipeDir() + "/ombrix.ipc.obdaemonexe"));
  EXPECT_EQ(Calls(), "");
  host->Signal(SIGTERM);
  EXPECT_EQ(host->WaitForExit(), 0);
}

TEST_F(DaemonLinkTest, ACrashOfTheClientIsReportedAndUploaded) {
  host_.WriteEditionValues("GameId=other\nKey=OB-DEMO\nInstallHook=0\n");
  ombrix::test::WebStandin web;
  ASSERT_TRUE(web.running());
  ombrix::test::WriteFile(host_.Path("gsc"), web.GscXml());
  auto host = host_.Run();
  ASSERT_TRUE(WaitUntil([&] { return Running(host.get()); }, std::chrono::seconds(10)))
      << host_.Log();
  host->Signal(SIGSEGV);
  // A crash is a failure, after the report and the uploader's start.
  EXPECT_EQ(host->WaitForExit(), 128 + SIGSEGV);
  ASSERT_TRUE(web.WaitForRequests("/UploadFileDMP.ashx"));
  std::string report;
  for (const auto& e : fs::directory_iterator(host_.program()))
    if (e.path().extension() == ".dmp") report = e.path();
  ASSERT_FALSE(report.empty());
  std::string name = fs::path(report).filename();
  EXPECT_EQ(name.rfind("2.3.109.05.OBHost.exe.", 0), 0u) << name;
  auto upload = web.RequestsTo("/UploadFileDMP.ashx")[0];
  EXPECT_EQ(upload.ParamKeys(), (std::vector<std::string>{"fileName", "random_ticket"}));
  EXPECT_EQ(upload.Param("fileName"), name + ".gz");
  std::string gz = web.StoredDump(name + ".gz"), plain;
  ASSERT_TRUE(brx::util::InflateGzipBody(gz.data(), gz.size(), &plain));
  EXPECT_EQ(plain, ombrix::test::ReadFile(report));
  EXPECT_TRUE(WaitUntil([&] { return !ombrix::test::PathExists(report + ".gz"); }));
  EXPECT_TRUE(host_.LogHas("[OBHost.exe]2.3.109.05 crash[" + report + "]!\n")) << host_.Log();
}

TEST_F(DaemonLinkTest, ACrashAfterAnEditionUpdateBelongsToTheNewVersion) {
  host_.WriteEditionValues("GameId=other\nKey=OB-DEMO\nInstallHook=0\n");
  fs::copy_file(ombrix::test::BinaryDir() + "/standin/edition-next/OBVerCustom.dll",
                host_.Path("OBVerCustom.dll.update"));
  auto host = host_.Run();
  ASSERT_TRUE(WaitUntil([&] { return host_.LogHas("[OBHost.exe]2.3.110.01 start", "2.3.110.01"); },
                        std::chrono::seconds(10)));
  host->Signal(SIGSEGV);
  EXPECT_EQ(host->WaitForExit(), 128 + SIGSEGV);
  std::string report;
  for (const auto& e : fs::directory_iterator(host_.program()))
    if (e.path().extension() == ".dmp") report = e.path();
  EXPECT_EQ(fs::path(report).filename().string().rfind("2.3.110.01.OBHost.exe.", 0), 0u) << report;
  EXPECT_TRUE(host_.LogHas("[OBHost.exe]2.3.110.01 crash[" + report + "]!\n", "2.3.110.01"))
      << host_.Log("2.3.110.01");
}

}  // namespace

// The hook daemon as a real process in a private install folder, with the
// real hook library stand-in (its calls recorded) and a pipe server of the
// test's own standing in for the main client's end.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <filesystem>

#include "runtime/io/ipc/ipc_service_server.h"
#include "runtime/platform/process.h"
#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/gzip.h"
#include "tests/support/test_support.h"
#include "tests/support/web_standin.h"

namespace {

using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;

class ClientEnd : public brx::io::ipc::IPCServiceServer {
 public:
  ~ClientEnd() override { Stop(); }
  // Serves the daemon pipe, one instance.
  bool Serve() { return Start() && Listen(L"ombrix.ipc.obdaemonexe", false); }
  std::atomic<brx::io::ConnectionId> connected{0};
  std::atomic<int> disconnects{0};

 protected:
  void OnConnect(brx::io::ConnectionId c, const std::wstring&) override { connected = c; }
  void OnDisconnect(brx::io::ConnectionId, int) override { disconnects++; }
  void NotifyBatch() override {}
  void OnMessage(const brx::io::QueuedMessage&) override {}
};

class HookDaemonProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.Sub("app"));
    for (const char* f : {"OBDaemon.exe", "OBDaemon.dll", "OBVerCustom.dll"})
      std::filesystem::copy_file(ombrix::test::DistDir() + "/" + f,
                                 dir_.Sub(std::string("app/") + f));
    SetInstallHook(true);
  }
  void SetInstallHook(bool on) {
    ombrix::test::WriteFile(
        dir_.Sub("app/OBVerCustom.ini"),
        std::string("Key=OB-TEST\nVersion=1.0.0.1\nInstallHook=") + (on ? "1" : "0") + "\n");
  }
  std::unique_ptr<brx::platform::ChildProcess> StartDaemon() {
    auto child = brx::platform::ChildProcess::Spawn({dir_.Sub("app/OBDaemon.exe"), {}, ""});
    EXPECT_TRUE(child);
    return child;
  }
  // A daemon linked to `client`; null when it did not connect in time.
  std::unique_ptr<brx::platform::ChildProcess> StartLinkedDaemon(ClientEnd* client) {
    auto daemon = StartDaemon();
    if (!daemon || !WaitUntil([&] { return client->connected.load() != 0; })) return nullptr;
    return daemon;
  }
  int ExitCode(brx::platform::ChildProcess* child) {
    int status = -1;
    EXPECT_TRUE(child->Wait(20000, &status));
    EXPECT_TRUE(WIFEXITED(status)) << status;
    return WEXITSTATUS(status);
  }
  std::string Calls() {
    std::string text = ombrix::test::ReadFile(dir_.Sub("calls"));
    std::string names;
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('\n', pos);
      names += text.substr(pos, text.find(' ', pos) - pos) + ";";
      pos = end + 1;
    }
    return names;
  }
  std::string Log() {
    return ombrix::test::ReadFile(dir_.Sub("app/Log/1.0.0.1--c--OBDaemon.exe.log"));
  }

  TempDir dir_;
  ScopedEnv pipes_{"OMBRIX_PIPE_DIR", dir_.Sub("pipes")};
  ScopedEnv locks_{"OMBRIX_LOCK_DIR", dir_.Sub("locks")};
  ScopedEnv record_{"OMBRIX_HOOK_RECORD", dir_.Sub("calls")};
  ScopedEnv fail_{"OMBRIX_HOOK_FAIL", std::nullopt};
  ScopedEnv crash_{"OMBRIX_HOOK_CRASH", std::nullopt};
  // The daemons here need not wait for hooked processes to let go.
  ScopedEnv grace_{"OMBRIX_UNHOOK_GRACE_MS_FOR_TESTING", "0"};
};

TEST_F(HookDaemonProcessTest, HoldsTheHookUntilTheClientPipeCloses) {
  ClientEnd client;
  ASSERT_TRUE(client.Serve());
  auto daemon = StartLinkedDaemon(&client);
  ASSERT_TRUE(daemon);
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;InstallGlobalHook;");
  EXPECT_FALSE(daemon->HasExited());
  // The main client goes away: its end of the pipe closes.
  client.Stop();
  client.CloseAllPipes();
  EXPECT_EQ(ExitCode(daemon.get()), 0);
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;InstallGlobalHook;UninstallGlobalHook;");
}

TEST_F(HookDaemonProcessTest, QuitRequestRemovesTheHook) {
  ClientEnd client;
  ASSERT_TRUE(client.Serve());
  auto daemon = StartLinkedDaemon(&client);
  ASSERT_TRUE(daemon);
  daemon->Signal(SIGTERM);
  EXPECT_EQ(ExitCode(daemon.get()), 0);
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;InstallGlobalHook;UninstallGlobalHook;");
  EXPECT_TRUE(WaitUntil([&] { return client.disconnects.load() == 1; }));
}

TEST_F(HookDaemonProcessTest, AQuittingDaemonLetsTheNextOneTakeOverAtOnce) {
  ClientEnd client;
  ASSERT_TRUE(client.Serve());
  std::unique_ptr<brx::platform::ChildProcess> first;
  {
    // The program's own grace period, so that the first daemon still waits
    // while the second one starts.
    ScopedEnv grace("OMBRIX_UNHOOK_GRACE_MS_FOR_TESTING", std::nullopt);
    first = StartLinkedDaemon(&client);
  }
  ASSERT_TRUE(first);
  first->Signal(SIGTERM);
  ASSERT_TRUE(WaitUntil(
      [&] { return Calls() == "CalcDX9FuncRVA;InstallGlobalHook;UninstallGlobalHook;"; }));
  // The first one still waits out its grace period, without its lock.
  ASSERT_TRUE(client.Listen(L"ombrix.ipc.obdaemonexe", false));
  auto second = StartDaemon();
  ASSERT_TRUE(WaitUntil([&] {
    return Calls() ==
           "CalcDX9FuncRVA;InstallGlobalHook;UninstallGlobalHook;CalcDX9FuncRVA;InstallGlobalHook;";
  }));
  EXPECT_FALSE(first->HasExited());
  EXPECT_EQ(ExitCode(first.get()), 0);
  second->Signal(SIGTERM);
  EXPECT_EQ(ExitCode(second.get()), 0);
}

TEST_F(HookDaemonProcessTest, NoClientPipeMeansHookRemovedAndBlockConnectLogged) {
  auto daemon = StartDaemon();
  EXPECT_EQ(ExitCode(daemon.get()), 0);
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;InstallGlobalHook;UninstallGlobalHook;");
  EXPECT_NE(Log().find("BlockConnect failed!\n"), std::string::npos) << Log();
}

TEST_F(HookDaemonProcessTest, EditionWithoutHookExitsAfterTheOffsets) {
  SetInstallHook(false);
  auto daemon = StartDaemon();
  EXPECT_EQ(ExitCode(daemon.get()), 0);
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;");
}

TEST_F(HookDaemonProcessTest, SecondDaemonExitsSilently) {
  std::unique_ptr<brx::platform::SingleInstanceLock> held;
  ASSERT_EQ(brx::platform::SingleInstanceLock::Acquire("Global\\OBDAEMONEXE_MUTEX", &held),
            brx::platform::SingleInstanceLock::Result::kAcquired);
  auto daemon = StartDaemon();
  EXPECT_EQ(ExitCode(daemon.get()), 0);
  EXPECT_EQ(Calls(), "");
  EXPECT_EQ(Log().find("failed"), std::string::npos);
}

TEST_F(HookDaemonProcessTest, LibraryFailuresAreLoggedAndNothingIsInstalled) {
  {
    ScopedEnv fail("OMBRIX_HOOK_FAIL", "calc");
    auto daemon = StartDaemon();
    EXPECT_EQ(ExitCode(daemon.get()), 0);
  }
  EXPECT_NE(Log().find("CalcDX9FuncRVA(17,42) failed!\n"), std::string::npos) << Log();
  {
    ScopedEnv fail("OMBRIX_HOOK_FAIL", "install");
    auto daemon = StartDaemon();
    EXPECT_EQ(ExitCode(daemon.get()), 0);
  }
  EXPECT_NE(Log().find("InstallGlobalHook failed!\n"), std::string::npos) << Log();
  std::filesystem::remove(dir_.Sub("app/OBDaemon.dll"));
  auto daemon = StartDaemon();
  EXPECT_EQ(ExitCode(daemon.get()), 0);
  EXPECT_NE(Log().find("Load OBDaemon.dll failed!\n"), std::string::npos) << Log();
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;CalcDX9FuncRVA;InstallGlobalHook;");
}

TEST_F(HookDaemonProcessTest, ALibraryLackingAnEntryIsLogged) {
  auto use = [&](const char* without) {
    std::filesystem::copy_file(
        ombrix::test::BinaryDir() + "/standin/hook-without-" + without + "/OBDaemon.dll",
        dir_.Sub("app/OBDaemon.dll"), std::filesystem::copy_options::overwrite_existing);
  };
  use("CalcDX9FuncRVA");
  EXPECT_EQ(ExitCode(StartDaemon().get()), 0);
  EXPECT_NE(Log().find("GetProcAddress(CalcDX9FuncRVA) failed!\n"), std::string::npos) << Log();
  use("InstallGlobalHook");
  EXPECT_EQ(ExitCode(StartDaemon().get()), 0);
  EXPECT_NE(Log().find("GetProcAddress(InstallGlobalHook) failed!\n"), std::string::npos) << Log();
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;");
  // Without its removal entry the daemon still shuts down in order.
  use("UninstallGlobalHook");
  ClientEnd client;
  ASSERT_TRUE(client.Serve());
  auto daemon = StartLinkedDaemon(&client);
  ASSERT_TRUE(daemon);
  daemon->Signal(SIGTERM);
  EXPECT_EQ(ExitCode(daemon.get()), 0);
  EXPECT_NE(Log().find("GetProcAddress(UninstallGlobalHook) failed!\n"), std::string::npos)
      << Log();
}

TEST_F(HookDaemonProcessTest, MessagesAreIgnoredAndABrokenFrameEndsTheLink) {
  ClientEnd client;
  ASSERT_TRUE(client.Serve());
  auto daemon = StartLinkedDaemon(&client);
  ASSERT_TRUE(daemon);
  // Whole messages change nothing; then a frame shorter than its own length
  // field breaks the stream, and only that ends the daemon (it reads in order).
  const uint8_t message[] = {0x34, 0x08, 0, 0, 1, 2, 3, 4};
  for (int i = 0; i < 100; ++i)
    ASSERT_TRUE(client.SendMessage(client.connected.load(), message, sizeof message));
  const uint8_t broken[] = {3, 0, 0, 0};
  ASSERT_TRUE(client.Send(client.connected.load(), broken, sizeof broken, nullptr, 0));
  EXPECT_EQ(ExitCode(daemon.get()), 0);

  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;InstallGlobalHook;UninstallGlobalHook;");
}

TEST_F(HookDaemonProcessTest, AQuitThatComesBeforeTheLoopIsKeptForIt) {
  ClientEnd client;
  ASSERT_TRUE(client.Serve());
  auto daemon = StartDaemon();
  // The hook is in; the pipe may or may not be connected yet, the loop may
  // not run yet: the quit must still reach it and take the hook away.
  ASSERT_TRUE(WaitUntil([&] { return Calls() == "CalcDX9FuncRVA;InstallGlobalHook;"; }));
  daemon->Signal(SIGTERM);
  EXPECT_EQ(ExitCode(daemon.get()), 0);
  EXPECT_EQ(Calls(), "CalcDX9FuncRVA;InstallGlobalHook;UninstallGlobalHook;");
}

TEST_F(HookDaemonProcessTest, CrashWritesReportAndTheUploaderSendsIt) {
  ombrix::test::WebStandin web;
  ASSERT_TRUE(web.running());
  std::filesystem::copy_file(ombrix::test::DistDir() + "/OBBugreporter.exe",
                             dir_.Sub("app/OBBugreporter.exe"));
  ombrix::test::WriteFile(dir_.Sub("app/gsc"), web.GscXml());
  ScopedEnv crash("OMBRIX_HOOK_CRASH", "install");
  auto daemon = StartDaemon();
  // A crash is a failure, after the report and the uploader's start.
  EXPECT_EQ(ExitCode(daemon.get()), 128 + SIGSEGV);
  ASSERT_TRUE(web.WaitForRequests("/UploadFileDMP.ashx"));
  std::string report;
  for (const auto& e : std::filesystem::directory_iterator(dir_.Sub("app")))
    if (e.path().extension() == ".dmp") report = e.path();
  ASSERT_FALSE(report.empty());
  std::string name = std::filesystem::path(report).filename();
  EXPECT_EQ(name.rfind("1.0.0.1.OBDaemon.exe.", 0), 0u) << name;
  auto posts = web.RequestsTo("/UploadFileDMP.ashx");
  EXPECT_EQ(posts[0].ParamKeys(), (std::vector<std::string>{"fileName", "random_ticket"}));
  EXPECT_EQ(posts[0].Param("fileName"), name + ".gz");
  std::string gz = web.StoredDump(name + ".gz"), plain;
  ASSERT_TRUE(brx::util::InflateGzipBody(gz.data(), gz.size(), &plain));
  EXPECT_EQ(plain, ombrix::test::ReadFile(report));
  EXPECT_NE(plain.find("signal: 11"), std::string::npos);
  // The uploader runs on after the daemon: wait for it to tidy up.
  EXPECT_TRUE(WaitUntil([&] { return !ombrix::test::PathExists(report + ".gz"); }));
  EXPECT_NE(Log().find("[FATAL]"), std::string::npos);
  EXPECT_NE(Log().find("[OBDaemon.exe]1.0.0.1 crash[" + report + "]!\n"), std::string::npos)
      << Log();
}

}  // namespace

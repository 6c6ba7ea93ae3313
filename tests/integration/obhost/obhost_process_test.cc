// Runs the main client OBHost.exe of the install folder as a separate
// process, headless, in a private copy of the install folder with private
// registry, lock and pipe folders.

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/platform/single_instance_lock.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "standin/game/game_simulator.h"
#include "tests/support/installed_host.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using ombrix::test::HostProcess;
using ombrix::test::InstalledHost;
using ombrix::test::PathExists;
using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;
using ombrix::test::WriteFile;

constexpr auto kExitDeadline = std::chrono::seconds(30);
constexpr auto kGameWait = std::chrono::seconds(15);

// What the client sends a game that attaches.
const std::vector<std::string> kHandshake = {"WELCOME", "SYSTEMCONFIG", "GAMECONFIG", "CONFIGOK",
                                             "DATAPROMPT"};

// The names of the messages up to the handshake's last, or fewer when the
// link goes quiet.
std::vector<std::string> ReadHandshake(gamesim::GameSimulator& game) {
  std::vector<std::string> names;
  while (names.empty() || names.back() != kHandshake.back()) {
    auto message = game.Receive(kGameWait);
    if (!message) break;
    names.push_back(message->name);
  }
  return names;
}

// True once the main thread of `host` woke up `times` times, each at least
// `gap` after the last one counted, within `timeout`.
bool WakesUpAtIntervals(HostProcess* host, int times, std::chrono::milliseconds gap,
                        std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  long seen = host->MainThreadWakeUps();
  int counted = 0;
  Clock::time_point last_counted;
  return WaitUntil(
      [&] {
        long now = host->MainThreadWakeUps();
        if (now > seen) {
          seen = now;
          if (counted == 0 || Clock::now() - last_counted >= gap) {
            ++counted;
            last_counted = Clock::now();
          }
        }
        return counted >= times;
      },
      timeout);
}

class OBHostProcessTest : public ::testing::Test {
 protected:
  std::string Program() const { return installed_.program(); }
  std::unique_ptr<HostProcess> Run(std::vector<std::string> args = {"--gui"}) {
    auto process = installed_.Run(args);
    EXPECT_TRUE(process->started());
    return process;
  }
  bool LogHas(const std::string& text, const std::string& version = "2.3.109.05") const {
    return installed_.LogHas(text, version);
  }
  bool LockHeld() const {
    std::unique_ptr<brx::platform::SingleInstanceLock> lock;
    return brx::platform::SingleInstanceLock::Acquire("Global\\OBHOST_MUTEX", &lock) ==
           brx::platform::SingleInstanceLock::Result::kAlreadyHeld;
  }
  static std::wstring EditionKeyPath(const wchar_t* root) {
    return std::wstring(root) + L"\\SOFTWARE\\Dorsk\\Ombrix\\OB-DEMO";
  }

  InstalledHost installed_;
  ScopedEnv lc_all_{"LC_ALL", std::nullopt};
  ScopedEnv lc_messages_{"LC_MESSAGES", std::nullopt};
  ScopedEnv lang_{"LANG", "en_US.UTF-8"};
};

TEST_F(OBHostProcessTest, RunsHeadlessHoldsItsLockTicksAndStopsInOrderOnSigterm) {
  auto host = Run();
  ASSERT_TRUE(WaitUntil([&] { return LogHas("[OBHost.exe]2.3.109.05 start"); }, kExitDeadline));

  for (const wchar_t* root : {L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER"}) {
    std::wstring value;
    ASSERT_TRUE(brx::util::ReadRegistryString(EditionKeyPath(root), L"Directory", &value));
    EXPECT_EQ(value, brx::util::Utf8ToWide(Program()));
    ASSERT_TRUE(brx::util::ReadRegistryString(EditionKeyPath(root), L"Version", &value));
    EXPECT_EQ(value, L"2.3.109.05");
    ASSERT_TRUE(brx::util::ReadRegistryString(EditionKeyPath(root), L"KeyDesc", &value));
    EXPECT_EQ(value, L"Ombrix demo edition");
    uint32_t hook = 7;
    ASSERT_TRUE(brx::util::ReadRegistryDword(EditionKeyPath(root), L"InstallHook", &hook));
    EXPECT_EQ(hook, 0u);
  }
  EXPECT_TRUE(LockHeld());

  // The 1-second timer wakes the otherwise idle GUI thread again and again,
  // a second apart; start-up work that ends (a failed download, say) wakes
  // it only in a short burst, which cannot pass for that.
  ASSERT_GE(host->MainThreadWakeUps(), 0);
  EXPECT_TRUE(
      WakesUpAtIntervals(host.get(), 4, std::chrono::milliseconds(700), std::chrono::seconds(20)));

  auto second = Run();
  EXPECT_EQ(second->WaitForExit(), 255);
  EXPECT_EQ(second->Stderr(), "Tip: Ombrix is running\n");
  {
    ScopedEnv chinese("LANG", "zh_CN.UTF-8");
    auto third = Run({"--gui", "--TW"});
    EXPECT_EQ(third->WaitForExit(), 255);
    EXPECT_EQ(third->Stderr(), "提示: 你已启动翎岚,不能重复启动\n");
  }

  ASSERT_TRUE(host->Signal(SIGTERM));
  EXPECT_EQ(host->WaitForExit(), 0);
  EXPECT_EQ(host->Stderr(), "");
  EXPECT_TRUE(LogHas("[OBHost.exe]2.3.109.05 exit"));
  EXPECT_NE(ReadFile(Program() + "/sysconfig.xml").find("<firstrun>0</firstrun>"),
            std::string::npos);
  EXPECT_FALSE(LockHeld());
}

TEST_F(OBHostProcessTest, AQuitSignalAtAnyMomentOfStartUpEndsTheClientInOrder) {
  // Points of start-up a test can see from outside, in the order they
  // come: the edition library is read while static objects are built,
  // before main; the edition values are written; the instance lock is
  // taken; the client has started. (Moments before these, while the
  // loader maps the libraries, are the next test's.)
  auto count = [this](const std::string& text) {
    std::string log = installed_.Log();
    size_t n = 0;
    for (size_t at = 0; (at = log.find(text, at)) != std::string::npos; ++at) ++n;
    return n;
  };
  const std::string start_line = "[OBHost.exe]2.3.109.05 start";
  const std::string exit_line = "[OBHost.exe]2.3.109.05 exit";
  const std::string hive = installed_.RegistryDir() + "/HKLM.xml";
  size_t starts = 0;
  const std::vector<std::pair<std::string, std::function<bool(pid_t)>>> moments = {
      {"edition library read",
       [](pid_t pid) {
         return ReadFile("/proc/" + std::to_string(pid) + "/maps").find("OBVerCustom.dll") !=
                std::string::npos;
       }},
      {"edition values written", [&](pid_t) { return PathExists(hive); }},
      {"instance lock taken", [&](pid_t) { return LockHeld(); }},
      {"started", [&](pid_t) { return count(start_line) > starts; }},
  };
  for (size_t m = 0; m < moments.size(); ++m) {
    const auto& [moment, reached] = moments[m];
    // A later moment reached before this one was seen: the poll missed it
    // (on a busy machine the first lasts only milliseconds).
    auto passed = [&](pid_t pid) {
      for (size_t later = m + 1; later < moments.size(); ++later)
        if (moments[later].second(pid)) return true;
      return false;
    };
    for (int sig : {SIGTERM, SIGINT}) {
      bool seen = false;
      for (int attempt = 0; attempt < 20 && !seen; ++attempt) {
        fs::remove(hive);
        starts = count(start_line);
        size_t exits = count(exit_line);
        auto host = Run();
        auto deadline = std::chrono::steady_clock::now() + kExitDeadline;
        bool missed = false;
        while (!(seen = reached(host->pid())) && !(missed = passed(host->pid())) &&
               !host->HasExited() && std::chrono::steady_clock::now() < deadline)
          std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (!seen && missed) {
          ASSERT_TRUE(host->Signal(SIGTERM)) << moment;
          EXPECT_EQ(host->WaitForExit(), 0) << moment << ", missed run";
          continue;
        }
        ASSERT_TRUE(seen) << moment;
        ASSERT_TRUE(host->Signal(sig)) << moment;
        EXPECT_EQ(host->WaitForExit(), 0) << moment << ", signal " << sig;
        EXPECT_EQ(count(exit_line), exits + 1)
            << moment << ", signal " << sig;  // shut down, not cut off
        EXPECT_FALSE(LockHeld()) << moment;
      }
      ASSERT_TRUE(seen) << moment << ": never caught in 20 runs";
    }
  }
}

// True once the program started as `pid` runs instructions of its own:
// it has blocked a signal, or the loader has mapped a library for it. (A
// signal that comes while the kernel is still setting up the new image is
// delivered before its first instruction: that only its parent can hold.)
bool HasBegun(pid_t pid) {
  std::string proc = "/proc/" + std::to_string(pid);
  std::string status = ReadFile(proc + "/status");
  size_t blocked = status.find("SigBlk:");
  if (blocked != std::string::npos && std::stoull(status.substr(blocked + 7), nullptr, 16) != 0)
    return true;
  std::string maps = ReadFile(proc + "/maps");
  for (size_t at = maps.find(".so"); at != std::string::npos; at = maps.find(".so", at + 1)) {
    size_t line = maps.rfind('\n', at);
    if (maps.substr(line == std::string::npos ? 0 : line, at - line).find("/ld-linux") ==
        std::string::npos)
      return true;
  }
  return false;
}

TEST_F(OBHostProcessTest, SigintAndSigtermAtRandomMomentsOfTheFirstSecondAlwaysEndItWithZero) {
  // From the first instruction on, whatever has been started by then (the
  // loader's libraries, their threads, the windows' toolkit): a quit signal
  // is never the default action's end.
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> microseconds(0, 999999);
  for (int attempt = 0; attempt < 100; ++attempt) {
    int sig = attempt % 2 ? SIGTERM : SIGINT;
    ScopedEnv ui("OMBRIX_UI", attempt % 4 < 2 ? "none" : "headless");
    auto moment =
        std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds(random));
    auto host = Run();
    ASSERT_TRUE(WaitUntil([&] { return HasBegun(host->pid()); })) << attempt;
    // The moment to send it at, picked at random; nothing is waited for.
    std::this_thread::sleep_until(moment);
    ASSERT_TRUE(host->Signal(sig)) << attempt;
    ASSERT_EQ(host->WaitForExit(), 0) << "attempt " << attempt << ", signal " << sig << "\n"
                                      << host->Stderr();
    ASSERT_FALSE(LockHeld()) << attempt;
  }
}

TEST_F(OBHostProcessTest, AfterARefusedSecondStartTheFirstStillServesItsGamePipes) {
  auto host = Run();
  ASSERT_TRUE(WaitUntil([&] { return LogHas("[OBHost.exe]2.3.109.05 start"); }, kExitDeadline));
  // The edition's game id is "other" and its hook is not system-wide, so
  // every game pipe name ends in the game id.
  gamesim::GameSimulator::Options options;
  options.name_suffix = L"other";
  gamesim::GameSimulator early(options);
  ASSERT_TRUE(early.ConnectAndAttach("other", kGameWait));
  ASSERT_EQ(ReadHandshake(early), kHandshake);

  auto second = Run();
  ASSERT_EQ(second->WaitForExit(), 255);
  EXPECT_EQ(second->Stderr(), "Tip: Ombrix is running\n");
  // It was refused before it went near the pipes (the two share the log).
  EXPECT_FALSE(LogHas("is served by another process"));

  // A game attached before still has its link; a game that comes now finds
  // the pipes served by the first instance.
  ASSERT_TRUE(early.Attach("other"));
  EXPECT_EQ(ReadHandshake(early), kHandshake);
  gamesim::GameSimulator late(options);
  ASSERT_TRUE(late.ConnectAndAttach("other", kGameWait));
  EXPECT_EQ(ReadHandshake(late), kHandshake);
  EXPECT_NE(late.name_index(), early.name_index());
  EXPECT_TRUE(early.errors().empty()) << early.errors().front();
  EXPECT_TRUE(late.errors().empty()) << late.errors().front();

  ASSERT_TRUE(host->Signal(SIGTERM));
  EXPECT_EQ(host->WaitForExit(), 0);
}

TEST_F(OBHostProcessTest, WithoutGuiItExitsMinusOneSilently) {
  auto host = Run({"--TW"});
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_EQ(host->Stderr(), "");
  EXPECT_FALSE(PathExists(Program() + "/Log"));
  EXPECT_FALSE(PathExists(Program() + "/sysconfig.xml"));
  EXPECT_FALSE(PathExists(installed_.RegistryDir() + "/HKLM.xml"));
}

TEST_F(OBHostProcessTest, APendingEditionUpdateTakesEffectOnThisStart) {
  fs::copy_file(ombrix::test::BinaryDir() + "/standin/edition-next/OBVerCustom.dll",
                Program() + "/OBVerCustom.dll.update");
  auto host = Run();
  ASSERT_TRUE(WaitUntil([&] { return LogHas("[OBHost.exe]2.3.110.01 start", "2.3.110.01"); },
                        kExitDeadline));
  EXPECT_FALSE(PathExists(Program() + "/OBVerCustom.dll.update"));
  std::wstring version;
  ASSERT_TRUE(
      brx::util::ReadRegistryString(EditionKeyPath(L"HKEY_LOCAL_MACHINE"), L"Version", &version));
  EXPECT_EQ(version, L"2.3.110.01");
  // Ctrl-C ends it in order as well.
  ASSERT_TRUE(host->Signal(SIGINT));
  EXPECT_EQ(host->WaitForExit(), 0);
  EXPECT_TRUE(LogHas("[OBHost.exe]2.3.110.01 exit", "2.3.110.01"));
}

TEST_F(OBHostProcessTest, AMissingSkinFolderEndsTheStartWithItsLogLine) {
  fs::remove_all(Program() + "/OBSkin/other");
  auto host = Run();
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_TRUE(LogHas("bad skin directory[OBSkin/other]"));
  EXPECT_TRUE(LogHas("OBApplication::InitialApplication:420:OBApplication::Initial() failed!"));
  EXPECT_FALSE(PathExists(Program() + "/sysconfig.xml"));
}

TEST_F(OBHostProcessTest, AnEmptyEditionKeyEndsTheStartWithItsLogLine) {
  WriteFile(Program() + "/OBVerCustom.ini", "GameId=other\nKey=\n");
  auto host = Run();
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_TRUE(LogHas("Empty key["));
  EXPECT_FALSE(PathExists(installed_.RegistryDir() + "/HKLM.xml"));
}

TEST_F(OBHostProcessTest, MissingFontsAreReportedAndTheStartEnds) {
  ScopedEnv fonts("OMBRIX_FONT_CHECK", "absent");
  auto host = Run();
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_EQ(host->Stderr(), "Error: There is no fonts installed to run Ombrix\n");
  EXPECT_TRUE(LogHas("OBApplication::Initial:174:can not find font(MSYH.TTF or SIMSUN.TTC)"));
  EXPECT_FALSE(PathExists(Program() + "/sysconfig.xml"));
  EXPECT_FALSE(LockHeld());
}

TEST_F(OBHostProcessTest, AHookDaemonThatCannotBeStartedEndsTheStart) {
  // This copy of the install folder has no OBDaemon.exe.
  WriteFile(Program() + "/OBVerCustom.ini", "GameId=other\nKey=OB-DEMO\nInstallHook=1\n");
  auto host = Run();
  EXPECT_EQ(host->WaitForExit(), 255);
  EXPECT_TRUE(LogHas("CreateProcessW " + Program() + "/OBDaemon.exe failed["));
  EXPECT_TRUE(LogHas("OBApplication::InitialApplication:420:OBApplication::Initial() failed!"));
  uint32_t hook = 0;
  ASSERT_TRUE(
      brx::util::ReadRegistryDword(EditionKeyPath(L"HKEY_CURRENT_USER"), L"InstallHook", &hook));
  EXPECT_EQ(hook, 1u);
}

}  // namespace

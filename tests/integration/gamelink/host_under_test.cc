#include "tests/integration/gamelink/host_under_test.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "standin/game/game_simulator.h"

extern char** environ;

namespace gamelink_it {

namespace fs = std::filesystem;
using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;

HostUnderTest::HostUnderTest() : program_(dir_.Sub("program")) {
  fs::create_directories(program_);
  for (const char* name : {"OBHost.exe", "OBVerCustom.dll", "OBVerCustom.ini"})
    fs::copy_file(ombrix::test::DistDir() + "/" + name, program_ + "/" + name);
  fs::copy(ombrix::test::DistDir() + "/OBSkin", program_ + "/OBSkin", fs::copy_options::recursive);
  fs::copy(ombrix::test::DistDir() + "/games", program_ + "/games", fs::copy_options::recursive);
  std::string other = ReadFile(program_ + "/games/other.xml");
  other = std::regex_replace(other, std::regex("<ExitWithGame enable=\"1\""), "<ExitWithGame enable=\"0\"");
  ombrix::test::WriteFile(program_ + "/games/other.xml", other);
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_REGISTRY_DIR", dir_.Sub("state/registry")));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_LOCK_DIR", dir_.Sub("state/locks")));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_PIPE_DIR", dir_.Sub("state/pipes")));
  env_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", dir_.Sub("state/config")));
  env_.push_back(std::make_unique<ScopedEnv>("HOME", dir_.Sub("state/home")));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_FONT_CHECK", "present"));
  env_.push_back(std::make_unique<ScopedEnv>("LANG", "en_US.UTF-8"));
  env_.push_back(std::make_unique<ScopedEnv>("LC_ALL", std::nullopt));
}

HostUnderTest::~HostUnderTest() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool HostUnderTest::Start() {
  std::string exe = program_ + "/OBHost.exe";
  std::string err = dir_.Sub("stderr");
  char* argv[] = {exe.data(), const_cast<char*>("--gui"), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0;
}

bool HostUnderTest::ServesGamePipes(std::chrono::milliseconds timeout) {
  gamesim::GameSimulator::Options options;
  options.name_suffix = L"other";  // the edition's game id; its hook is not system-wide
  gamesim::GameSimulator probe(options);
  return WaitUntil(
      [&] {
        if (probe.Connect() == 0) return false;
        probe.Close();
        probe.WaitDisconnected(std::chrono::seconds(5));
        return true;
      },
      timeout);
}

bool HostUnderTest::Signal(int signal) { return pid_ > 0 && !exited_ && kill(pid_, signal) == 0; }

int HostUnderTest::WaitForExit(std::chrono::milliseconds timeout) {
  bool ended = WaitUntil(
      [this] {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
        exited_ = true;
        status_ = status;
        return true;
      },
      timeout);
  if (!ended || !WIFEXITED(status_)) return -1000;
  return WEXITSTATUS(status_);
}

std::string HostUnderTest::Stderr() const { return ReadFile(dir_.Sub("stderr")); }

std::string HostUnderTest::Log() const {
  std::error_code ec;
  if (!fs::is_directory(program_ + "/Log", ec)) return "";
  std::string log;
  for (const auto& entry : fs::directory_iterator(program_ + "/Log"))
    if (entry.path().filename().string().find("OBHost.exe.log") != std::string::npos)
      log += ReadFile(entry.path().string());
  return log;
}

}  // namespace gamelink_it

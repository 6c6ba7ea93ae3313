#include "tests/support/installed_host.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

extern char** environ;

namespace ombrix::test {

namespace fs = std::filesystem;

InstalledHost::InstalledHost() : program_(dir_.Sub("program")) {
  fs::create_directories(program_);
  for (const char* name : {"OBHost.exe", "OBVerCustom.dll", "OBVerCustom.ini"}) CopyFromDist(name);
  for (const char* folder : {"OBSkin", "games"})
    if (PathExists(DistDir() + "/" + folder))
      fs::copy(DistDir() + "/" + folder, Path(folder), fs::copy_options::recursive);
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_PIPE_DIR", PipeDir()));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_LOCK_DIR", LockDir()));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_REGISTRY_DIR", RegistryDir()));
  env_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", dir_.Sub("state/config")));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_FONT_CHECK", "present"));
}

InstalledHost::~InstalledHost() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void InstalledHost::CopyFromDist(const std::string& name) {
  fs::copy_file(DistDir() + "/" + name, Path(name), fs::copy_options::overwrite_existing);
}

void InstalledHost::WriteEditionValues(const std::string& ini) { WriteFile(Path("OBVerCustom.ini"), ini); }

bool InstalledHost::Start(const std::vector<std::string>& args) {
  std::string exe = Path("OBHost.exe");
  std::string err = dir_.Sub("stderr." + std::to_string(runs_++));
  std::vector<char*> argv{exe.data()};
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  exited_ = false;
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

bool InstalledHost::Signal(int signal) { return pid_ > 0 && !exited_ && kill(pid_, signal) == 0; }

bool InstalledHost::HasExited() {
  if (pid_ <= 0) return true;
  if (!exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
  return exited_;
}

int InstalledHost::WaitForExit(std::chrono::milliseconds timeout) {
  if (!WaitUntil([this] { return HasExited(); }, timeout)) return -1000;
  if (WIFSIGNALED(status_)) return -2000 - WTERMSIG(status_);
  return WEXITSTATUS(status_);
}

std::string InstalledHost::Stderr() const { return ReadFile(dir_.Sub("stderr." + std::to_string(runs_ - 1))); }

std::string InstalledHost::Log(const std::string& version) const {
  return ReadFile(Path("Log/" + version + "--c--OBHost.exe.log"));
}

}  // namespace ombrix::test

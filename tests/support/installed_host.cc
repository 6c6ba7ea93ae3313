#include "tests/support/installed_host.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

extern char** environ;

namespace ombrix::test {

namespace fs = std::filesystem;

HostProcess::HostProcess(const std::string& exe, const std::vector<std::string>& args,
                         std::string stderr_path)
    : stderr_path_(std::move(stderr_path)) {
  std::vector<std::string> strings{exe};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, stderr_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

HostProcess::~HostProcess() {
  if (pid_ > 0 && !HasExited()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool HostProcess::Signal(int signal) { return pid_ > 0 && !exited_ && kill(pid_, signal) == 0; }

bool HostProcess::HasExited() {
  if (pid_ <= 0) return true;
  if (!exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
  return exited_;
}

int HostProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (pid_ <= 0 || !WaitUntil([this] { return HasExited(); }, timeout)) return -1000;
  if (WIFSIGNALED(status_)) return -2000 - WTERMSIG(status_);
  return WEXITSTATUS(status_);
}

std::string HostProcess::Stderr() const { return ReadFile(stderr_path_); }

long HostProcess::MainThreadWakeUps() const {
  std::ifstream in("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  return -1;
}

InstalledHost::InstalledHost() : program_(dir_.Sub("program")) {
  fs::create_directories(program_);
  for (const char* name : {"OBHost.exe", "OBHost.exe.bin", "OBVerCustom.dll", "OBVerCustom.ini"})
    CopyFromDist(name);
  // The pictures of the program's icons, where the build made them.
  for (const char* name : {"OBHost156.png", "OBHost157.png", "OBHost158.png"})
    if (PathExists(DistDir() + "/" + name)) CopyFromDist(name);
  for (const char* folder : {"OBSkin", "games"})
    if (PathExists(DistDir() + "/" + folder))
      fs::copy(DistDir() + "/" + folder, Path(folder), fs::copy_options::recursive);
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_PIPE_DIR", PipeDir()));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_LOCK_DIR", LockDir()));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_REGISTRY_DIR", RegistryDir()));
  env_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", dir_.Sub("state/config")));
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_FONT_CHECK", "present"));
  // No windows: these runs drive the client through its pipes and the web
  // (a test that wants the windows sets OMBRIX_UI itself, after this object).
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_UI", "none"));
  // The static content host: nothing answers here, so the client's
  // downloads fail at once and quietly unless a test names a stand-in.
  env_.push_back(std::make_unique<ScopedEnv>("OMBRIX_STATIC_HOST", "http://127.0.0.1:9"));
}

InstalledHost::~InstalledHost() = default;

void InstalledHost::CopyFromDist(const std::string& name) {
  fs::copy_file(DistDir() + "/" + name, Path(name), fs::copy_options::overwrite_existing);
}

void InstalledHost::WriteEditionValues(const std::string& ini) {
  WriteFile(Path("OBVerCustom.ini"), ini);
}

std::unique_ptr<HostProcess> InstalledHost::Run(const std::vector<std::string>& args,
                                                const std::string& netns) {
  std::vector<std::string> command = {Path("OBHost.exe")};
  command.insert(command.end(), args.begin(), args.end());
  // `ip netns exec` execs the program: the process is the client itself.
  command = InNetns(netns, std::move(command));
  const std::string exe = command.front();
  command.erase(command.begin());
  return std::make_unique<HostProcess>(exe, command, dir_.Sub("stderr." + std::to_string(runs_++)));
}

std::string InstalledHost::Log(const std::string& version) const {
  return ReadFile(Path("Log/" + version + "--c--OBHost.exe.log"));
}

}  // namespace ombrix::test

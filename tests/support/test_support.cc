#include "tests/support/test_support.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ombrix::test {

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/ombrix-test-XXXXXX";
  char* made = mkdtemp(tmpl.data());
  if (!made) abort();
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = getenv(name_.c_str())) old_ = old;
  if (value)
    setenv(name_.c_str(), value->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (old_)
    setenv(name_.c_str(), old_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  auto step = std::chrono::microseconds(200);
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(step);
    if (step < std::chrono::milliseconds(20)) step *= 2;
  }
}

namespace {
std::string EnvOr(const char* name, const char* fallback) {
  const char* v = getenv(name);
  return v && *v ? v : fallback;
}
}  // namespace

std::string DistDir() { return EnvOr("OMBRIX_DIST_DIR", OMBRIX_DIST_DIR_DEFAULT); }
std::string SourceDir() { return EnvOr("OMBRIX_SOURCE_DIR", OMBRIX_SOURCE_DIR_DEFAULT); }
std::string BinaryDir() { return EnvOr("OMBRIX_BINARY_DIR", OMBRIX_BINARY_DIR_DEFAULT); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::string FindProgram(const std::string& name) {
  std::string path = getenv("PATH") ? getenv("PATH") : "";
  path += ":/usr/sbin:/sbin:/usr/bin:/bin";
  std::stringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::vector<std::string> InNetns(const std::string& netns, std::vector<std::string> argv) {
  if (netns.empty()) return argv;
  std::vector<std::string> wrapped = {FindProgram("ip"), "netns", "exec", netns};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  return wrapped;
}

int SocketInNetns(const std::string& netns, int domain, int type) {
  if (netns.empty()) return socket(domain, type, 0);
  // Entering a namespace changes only the calling thread: a short-lived
  // one makes the socket, which keeps its namespace after the thread ends.
  int fd = -1;
  std::thread maker([&] {
    const int ns = open(("/run/netns/" + netns).c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0) return;
    if (setns(ns, CLONE_NEWNET) == 0) fd = socket(domain, type, 0);
    close(ns);
  });
  maker.join();
  return fd;
}

}  // namespace ombrix::test

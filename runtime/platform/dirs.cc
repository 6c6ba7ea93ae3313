#include "runtime/platform/dirs.h"

#include <errno.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace brx::platform {

namespace {

std::string Env(const char* name) {
  const char* v = getenv(name);
  return v && *v ? v : "";
}

// A folder that other users must not reach into: it must be ours, a real
// folder (not a link someone planted) and closed to everybody else. A
// folder of ours that is too open is closed; one of another user's fails.
std::string EnsurePrivate(const std::string& path) {
  if (!MakeDirectories(path, 0700)) return "";
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return "";
  if ((st.st_mode & 077) != 0 && chmod(path.c_str(), st.st_mode & 0700) != 0) return "";
  return path;
}

}  // namespace

bool MakeDirectories(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string prefix = path.substr(0, pos);
    if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeDirectory() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/tmp";
}

std::string PipeDirectory() {
  std::string dir = Env("OMBRIX_PIPE_DIR");
  if (dir.empty()) {
    std::string runtime = Env("XDG_RUNTIME_DIR");
    dir = runtime.empty() ? "/tmp/ombrix-" + std::to_string(getuid()) : runtime + "/ombrix";
  }
  return EnsurePrivate(dir);
}

std::string LockDirectory() {
  std::string dir = Env("OMBRIX_LOCK_DIR");
  return dir.empty() ? PipeDirectory() : EnsurePrivate(dir);
}

std::string RegistryDirectory() {
  std::string dir = Env("OMBRIX_REGISTRY_DIR");
  if (dir.empty()) dir = HomeDirectory() + "/.local/share/ombrix/registry";
  return EnsurePrivate(dir);
}

std::string TempDirectory() {
  std::string base = Env("TMPDIR");
  if (base.empty()) base = "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return EnsurePrivate(base + "/ombrix-tmp-" + std::to_string(getuid()));
}

std::string AutostartDirectory() {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty()) config = HomeDirectory() + "/.config";
  std::string dir = config + "/autostart";
  return MakeDirectories(dir, 0755) ? dir : "";
}

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0) return "";
  std::string path(buf.data(), static_cast<size_t>(n));
  static const std::string kBody = ".bin";
  if (path.size() > kBody.size() &&
      path.compare(path.size() - kBody.size(), kBody.size(), kBody) == 0)
    path.resize(path.size() - kBody.size());
  return path;
}

}  // namespace brx::platform

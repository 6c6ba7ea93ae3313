#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::test {

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or with nullopt unsets) an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Checks `condition` until it holds or `timeout` passes; true when it held.
// For conditions another thread or process makes true, never as a sleep.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// Folders given to every test by CTest.
std::string DistDir();
std::string SourceDir();
std::string BinaryDir();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool PathExists(const std::string& path);

// The program's full path, from PATH or the system folders (/usr/sbin,
// /sbin, which a plain user's PATH may lack); empty when there is none.
std::string FindProgram(const std::string& name);
// `argv` as run inside the named network namespace (`ip netns exec`), or
// unchanged when `netns` is empty.
std::vector<std::string> InNetns(const std::string& netns, std::vector<std::string> argv);
// A socket made in the named network namespace, or in this process's own
// when `netns` is empty; -1 when it cannot be made. The socket stays in
// that namespace whichever thread uses it.
int SocketInNetns(const std::string& netns, int domain, int type);

}  // namespace ombrix::test

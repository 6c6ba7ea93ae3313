#pragma once

#include <memory>
#include <string>

namespace brx::platform {

// A named, system-wide mutex held for the life of the object: flock on
// <lock dir>/<name>.lock. The kernel releases it when the holder dies, so a
// crashed instance never blocks the next start.
class SingleInstanceLock {
 public:
  enum class Result { kAcquired, kAlreadyHeld, kFailed };

  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // `name` may carry a "Global\" prefix, which is dropped; any other text
  // is kept inside the lock folder (see LockFilePath). On kAcquired
  // `*lock` holds the lock; otherwise it is left empty.
  static Result Acquire(const std::string& name, std::unique_ptr<SingleInstanceLock>* lock);

  const std::string& path() const { return path_; }

 private:
  SingleInstanceLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};

// The lock file path a name maps to: a file directly in the lock folder,
// "/", "%" and control characters of the name written as %XX. Empty when
// the lock folder is unusable or the name too long for a file name.
std::string LockFilePath(const std::string& name);

}  // namespace brx::platform

#include "runtime/platform/single_instance_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include "runtime/platform/dirs.h"

namespace brx::platform {

namespace {

// A name as one file name: "/" (which would lead out of the lock folder),
// control characters and "%" itself are written as %XX, so every name stays
// a file of the folder and different names stay different files.
std::string FileNameOf(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (c == '/' || c == '%' || c < 0x20 || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::string LockFilePath(const std::string& name) {
  std::string base = name;
  static const std::string kGlobal = "Global\\";
  if (base.compare(0, kGlobal.size(), kGlobal) == 0) base = base.substr(kGlobal.size());
  std::string dir = LockDirectory();
  if (dir.empty() || base.empty()) return "";
  std::string file = FileNameOf(base) + ".lock";
  if (file.size() > NAME_MAX) return "";
  return dir + "/" + file;
}

SingleInstanceLock::Result SingleInstanceLock::Acquire(const std::string& name,
                                                       std::unique_ptr<SingleInstanceLock>* lock) {
  lock->reset();
  std::string path = LockFilePath(name);
  if (path.empty()) return Result::kFailed;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result::kFailed;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    int err = errno;
    close(fd);
    return err == EWOULDBLOCK ? Result::kAlreadyHeld : Result::kFailed;
  }
  lock->reset(new SingleInstanceLock(fd, std::move(path)));
  return Result::kAcquired;
}

SingleInstanceLock::~SingleInstanceLock() {
  // The file stays: unlinking it would let a third process lock a fresh
  // inode while a second one still waits on the old.
  close(fd_);
}

}  // namespace brx::platform

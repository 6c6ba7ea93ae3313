#include "runtime/platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace brx::platform {

bool WriteFileAtomically(const std::string& path, const std::string& data, unsigned mode) {
  std::string tmp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(gettid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  // A temporary file left by a crash keeps its old mode through O_TRUNC.
  if (fchmod(fd, mode) != 0) {
    close(fd);
    unlink(tmp.c_str());
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  // The rename itself survives a crash only once the folder is synced.
  std::string folder = path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
  int dfd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return true;
}

}  // namespace brx::platform

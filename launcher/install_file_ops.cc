#include "launcher/install_file_ops.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "runtime/platform/dirs.h"

namespace {

constexpr size_t kCopyChunk = 1 << 20;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool CopyData(int from, int to, off_t size) {
  off_t done = 0;
  while (done < size) {
    ssize_t n =
        sendfile(to, from, nullptr, static_cast<size_t>(std::min<off_t>(size - done, kCopyChunk)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EINVAL || errno == ENOSYS)) break;  // fall back to plain reads
    if (n <= 0) return false;
    done += n;
  }
  if (done == size) return true;
  std::vector<char> buf(kCopyChunk);
  while (true) {
    ssize_t n = read(from, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t off = 0; off < n;) {
      ssize_t w = write(to, buf.data() + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      off += w;
    }
  }
}

// Writes a copy of `source` at `path`, which must not exist yet.
bool WriteCopy(const std::string& source, const std::string& path, mode_t mode) {
  Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (in.get() < 0 || fstat(in.get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  Fd out(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (out.get() < 0) return false;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  bool ok = CopyData(in.get(), out.get(), st.st_size) && fchmod(out.get(), mode) == 0 &&
            futimens(out.get(), times) == 0;
  int saved = errno;
  ok = out.Close() && ok;
  if (!ok) {
    unlink(path.c_str());
    errno = saved ? saved : EIO;
  }
  return ok;
}

}  // namespace

std::string ReplacementTempPath(const std::string& target) {
  size_t slash = target.rfind('/');
  return target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".obpart";
}

bool ReplaceFileWith(const std::string& source, const std::string& target, mode_t mode) {
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  std::string temp = ReplacementTempPath(target);
  unlink(temp.c_str());
  if (!WriteCopy(source, temp, mode)) return false;
  if (rename(temp.c_str(), target.c_str()) != 0) {
    int saved = errno;
    unlink(temp.c_str());
    errno = saved;
    return false;
  }
  return true;
}

bool KeepCopyOf(const std::string& source, const std::string& copy) {
  struct stat st {};
  if (lstat(source.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  unlink(copy.c_str());
  if (link(source.c_str(), copy.c_str()) == 0) return true;
  return WriteCopy(source, copy, st.st_mode & 07777);
}

bool IsSameFile(const std::string& kept, const std::string& path) {
  struct stat a {
  }, b{};
  if (lstat(kept.c_str(), &a) != 0 || lstat(path.c_str(), &b) != 0) return false;
  if (a.st_dev == b.st_dev && a.st_ino == b.st_ino) return true;
  if (!S_ISREG(a.st_mode) || !S_ISREG(b.st_mode) || a.st_size != b.st_size ||
      (a.st_mode & 07777) != (b.st_mode & 07777) || a.st_mtim.tv_sec != b.st_mtim.tv_sec ||
      a.st_mtim.tv_nsec != b.st_mtim.tv_nsec)
    return false;
  Fd one(open(kept.c_str(), O_RDONLY | O_CLOEXEC)), two(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (one.get() < 0 || two.get() < 0) return false;
  std::vector<char> x(kCopyChunk), y(kCopyChunk);
  while (true) {
    ssize_t n = read(one.get(), x.data(), x.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return read(two.get(), y.data(), 1) == 0;
    ssize_t got = 0;
    while (got < n) {
      ssize_t m = read(two.get(), y.data() + got, static_cast<size_t>(n - got));
      if (m < 0 && errno == EINTR) continue;
      if (m <= 0) return false;
      got += m;
    }
    if (memcmp(x.data(), y.data(), static_cast<size_t>(n)) != 0) return false;
  }
}

uint64_t FreeSpaceAt(const std::string& path) {
  struct statvfs fs {};
  if (statvfs(path.c_str(), &fs) != 0) return UINT64_MAX;
  return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
}

bool RecreateFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  if (ec) return false;
  if (mkdir(folder.c_str(), 0700) != 0) return false;
  struct stat st {};
  return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

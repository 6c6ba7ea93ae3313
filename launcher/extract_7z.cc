#include "launcher/extract_7z.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <memory>

#include "runtime/platform/dirs.h"

namespace {

constexpr size_t kReadBlock = 1 << 16;

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};

void Report(IExtractListener* listener, int kind, int code, const std::string& name) {
  if (listener) listener->OnError(kind, code, name);
}

// Writes the current entry's data to `path` with `mode`, taking what it
// writes from `*budget`; an error code, 0 on success.
int WriteEntry(archive* a, const std::string& path, mode_t mode, uint64_t* budget) {
  unlink(path.c_str());  // a read-only file left from an earlier run
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return kExtractErrorFail;
  int result = 0;
  la_int64_t written = 0;
  while (result == 0) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int r = archive_read_data_block(a, &block, &size, &offset);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK) {
      result = r == ARCHIVE_FATAL && archive_errno(a) == ENOMEM ? kExtractErrorMemory
                                                                : kExtractErrorFail;
      break;
    }
    // 7z data has no gaps; a block that does not follow on is damage.
    if (offset != written) result = kExtractErrorFail;
    if (result == 0 && size > *budget) result = kExtractErrorTooLarge;
    if (result == 0) *budget -= size;
    written += static_cast<la_int64_t>(size);
    const char* data = static_cast<const char*>(block);
    while (result == 0 && size > 0) {
      ssize_t n = write(fd, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        result = kExtractErrorFail;
        break;
      }
      data += n;
      size -= static_cast<size_t>(n);
    }
  }
  if (result == 0 && fchmod(fd, mode) != 0) result = kExtractErrorFail;
  if (close(fd) != 0 && result == 0) result = kExtractErrorFail;
  if (result != 0) unlink(path.c_str());
  return result;
}

}  // namespace

std::string SafeEntryPath(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return "";
  // A drive prefix ("C:") is as absolute as a leading separator.
  if (name.size() >= 2 && name[1] == ':') return "";
  std::string out;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." || part.size() > NAME_MAX) return "";
    // Control characters have no place in a file name and would break
    // the line-based install journal.
    for (unsigned char c : part)
      if (c < 0x20 || c == 0x7F) return "";
    if (!out.empty()) out += '/';
    out += part;
  }
  return out.size() < PATH_MAX / 2 ? out : "";
}

bool Extract7z(IExtractListener* listener, const std::string& archive_path,
               const std::string& target, const ExtractLimits& limits) {
  std::unique_ptr<archive, ArchiveCloser> a(archive_read_new());
  if (!a) {
    Report(listener, IExtractListener::kOpen, ENOMEM, archive_path);
    return false;
  }
  archive_read_support_format_7zip(a.get());
  // Opening reads the signature header; the database comes with the first
  // header read, so a damaged one is reported as kind 1 there.
  if (archive_read_open_filename(a.get(), archive_path.c_str(), kReadBlock) != ARCHIVE_OK) {
    int code = archive_errno(a.get());
    Report(listener,
           code == ENOENT || code == EACCES ? IExtractListener::kOpen : IExtractListener::kDatabase,
           code, archive_path);
    return false;
  }
  uint64_t budget = limits.max_bytes;
  for (int index = 0;; ++index) {
    archive_entry* entry = nullptr;
    int r = archive_read_next_header(a.get(), &entry);
    if (r == ARCHIVE_EOF) return true;
    if (static_cast<uint64_t>(index) >= limits.max_entries) {
      Report(listener, IExtractListener::kEntry, kExtractErrorTooLarge, archive_path);
      return false;
    }
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
      Report(listener, index == 0 ? IExtractListener::kDatabase : IExtractListener::kEntry,
             archive_errno(a.get()), archive_path);
      return false;
    }
    const char* utf8 = archive_entry_pathname_utf8(entry);
    std::string raw = utf8 ? utf8 : "";
    std::string name = SafeEntryPath(raw);
    mode_t type = archive_entry_filetype(entry);
    bool is_link = archive_entry_hardlink(entry) || archive_entry_symlink(entry);
    if (name.empty() || is_link || (type != AE_IFREG && type != AE_IFDIR)) {
      Report(listener, IExtractListener::kEntry, kExtractErrorUnsafeName, raw);
      return false;
    }
    std::string path = target + "/" + name;
    if (type == AE_IFDIR) {
      brx::platform::MakeDirectories(path, 0755);
      continue;
    }
    if (listener) listener->OnEntry(index, -1, name);
    size_t slash = path.rfind('/');
    brx::platform::MakeDirectories(path.substr(0, slash), 0755);
    // An entry without write permission for its owner is a read-only file;
    // one without any permission bits has no attributes at all.
    mode_t entry_mode = archive_entry_mode(entry) & 0777;
    mode_t mode = (entry_mode & 0111) ? 0755 : 0644;
    if (entry_mode != 0 && (entry_mode & 0200) == 0) mode &= ~0222;
    if (int code = WriteEntry(a.get(), path, mode, &budget)) {
      Report(listener, IExtractListener::kEntry, code, name);
      return false;
    }
  }
}

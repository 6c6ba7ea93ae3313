#include "runtime/util/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "runtime/platform/atomic_file.h"
#include "runtime/platform/dirs.h"
#include "runtime/util/text_convert.h"

namespace brx::util {

namespace {

std::string Narrow(const std::wstring& path) { return WideToUtf8(path); }

// An absolute path with ".", ".." and repeated separators worked out by
// the text alone, without a trailing separator.
std::string LexicallyNormal(const std::string& path) {
  std::string normal = std::filesystem::path(path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

bool Stat(const std::string& path, FindData* data) {
  struct statx sx {};
  if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return false;
  bool is_link = S_ISLNK(sx.stx_mode);
  if (is_link) {
    // A link to a file counts as that file; a link to a folder is left out.
    struct statx target {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &target) != 0 ||
        S_ISDIR(target.stx_mode))
      return false;
    sx = target;
  }
  data->is_directory = S_ISDIR(sx.stx_mode);
  data->size = sx.stx_size;
  data->write_time = sx.stx_mtime.tv_sec;
  // Without a birth time the write time stands in: the change time moves on
  // every rename or chmod, which would re-date a moved screenshot.
  data->creation_time = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
  return true;
}

// The folder's entries, sorted by name, with their records.
std::vector<FindData> ReadFolder(const std::wstring& folder) {
  std::vector<FindData> entries;
  std::string dir = Narrow(folder);
  DIR* d = opendir(dir.c_str());
  if (!d) return entries;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    FindData data;
    if (!Stat(dir + "/" + name, &data)) continue;
    data.name = Utf8ToWide(name);
    entries.push_back(std::move(data));
  }
  closedir(d);
  std::sort(entries.begin(), entries.end(),
            [](const FindData& a, const FindData& b) { return a.name < b.name; });
  return entries;
}

bool ExtensionEquals(const std::wstring& name, const wchar_t* extension) {
  std::wstring ext = GetFileExtension(name);
  std::wstring want = extension;
  if (ext.size() != want.size()) return false;
  for (size_t i = 0; i < ext.size(); ++i)
    if (towlower(ext[i]) != towlower(want[i])) return false;
  return true;
}

}  // namespace

std::wstring GetParentPath(const std::wstring& path) {
  size_t pos = path.find_last_of(L"/\\");
  return pos == std::wstring::npos ? path : path.substr(0, pos);
}

std::wstring GetFileExtension(const std::wstring& path) {
  size_t pos = path.rfind(L'.');
  return pos == std::wstring::npos ? L"" : path.substr(pos + 1);
}

void CreateDirectories(const std::wstring& path) {
  std::string p = Narrow(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.empty() || p.back() != '/') p += '/';
  for (size_t pos = 1; pos < p.size(); ++pos) {
    // The folders hold the user's own files (user folders, head images,
    // screenshots): nobody else lists them.
    if (p[pos] == '/') mkdir(p.substr(0, pos).c_str(), 0700);
  }
}

std::string ResolveRemovalPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return "";
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  std::string name = p.substr(slash + 1);
  char resolved[PATH_MAX];
  if (name.empty() || name == "." || name == "..")
    return realpath(p.c_str(), resolved) ? resolved : "";
  std::string above = slash == 0 ? "/" : p.substr(0, slash);
  if (!realpath(above.c_str(), resolved)) return "";
  std::string folder = resolved;
  return (folder == "/" ? "" : folder) + "/" + name;
}

bool IsProtectedFolder(const std::string& path) {
  if (path.empty() || path[0] != '/') return true;
  std::string resolved = ResolveRemovalPath(path);
  if (resolved.empty()) resolved = LexicallyNormal(path);
  if (resolved == "/") return true;
  // The home folder as named and as it really is (it may be a link).
  std::string named_home = platform::HomeDirectory();
  for (const std::string& home :
       {LexicallyNormal(named_home), ResolveRemovalPath(named_home + "/.")}) {
    if (home.empty()) continue;
    if (home == resolved || home.compare(0, resolved.size() + 1, resolved + "/") == 0) return true;
  }
  size_t second = resolved.find('/', 1);
  if (second == std::string::npos) return true;  // directly below "/"
  if (resolved.find('/', second + 1) != std::string::npos) return false;
  static const char* const kSystemTops[] = {
      "bin", "boot", "dev",  "etc", "home", "lib",  "lib32", "lib64", "libx32", "media",
      "mnt", "proc", "root", "run", "sbin", "snap", "srv",   "sys",   "usr",    "var"};
  std::string top = resolved.substr(1, second - 1);
  for (const char* system : kSystemTops)
    if (top == system) return true;
  return false;
}

bool DeleteDirectoryTree(const std::wstring& folder) {
  std::string path = ResolveRemovalPath(Narrow(folder));
  if (path.empty() || IsProtectedFolder(path)) return false;
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return false;
  // remove_all removes links themselves, never what they point to.
  std::filesystem::remove_all(path, ec);
  return !ec;
}

void ListFilesRecursive(const std::wstring& folder, std::vector<std::wstring>* files,
                        const wchar_t* extension) {
  for (const FindData& e : ReadFolder(folder)) {
    std::wstring path = folder + L"/" + e.name;
    if (e.is_directory) {
      ListFilesRecursive(path, files, extension);
    } else if (!extension || ExtensionEquals(e.name, extension)) {
      files->push_back(path);
    }
  }
}

void ListFindDataRecursive(const std::wstring& folder, std::vector<FindData>* entries) {
  for (const FindData& e : ReadFolder(folder)) {
    entries->push_back(e);
    if (e.is_directory) ListFindDataRecursive(folder + L"/" + e.name, entries);
  }
}

void BuildDirectoryTree(const std::wstring& folder, DirectoryNode* node) {
  FindData self;
  if (!Stat(Narrow(folder), &self) || !self.is_directory) return;
  size_t slash = folder.find_last_of(L"/\\");
  self.name = slash == std::wstring::npos ? folder : folder.substr(slash + 1);
  node->data = self;
  for (const FindData& e : ReadFolder(folder)) {
    if (e.is_directory) {
      DirectoryNode child;
      BuildDirectoryTree(folder + L"/" + e.name, &child);
      node->children.push_back(std::move(child));
    } else {
      node->files.push_back(e);
    }
  }
}

bool IsGscTestPresent() {
  struct stat st {};
  return stat("gsc.test", &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsDirectory(const std::wstring& path) {
  struct stat st {};
  return stat(Narrow(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::wstring& path) {
  struct stat st {};
  return stat(Narrow(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const std::wstring& path, std::string* out) {
  out->clear();
  int fd = open(Narrow(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[10240];
  bool ok = true;
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    out->append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return ok;
}

bool WriteWholeFileAtomic(const std::wstring& path, const std::string& data) {
  return platform::WriteFileAtomically(Narrow(path), data);
}

bool CopyFileOver(const std::wstring& from, const std::wstring& to) {
  std::string data;
  if (!ReadWholeFile(from, &data)) return false;
  struct stat st {};
  if (stat(Narrow(from).c_str(), &st) != 0) return false;
  if (!WriteWholeFileAtomic(to, data)) return false;
  chmod(Narrow(to).c_str(), st.st_mode & 07777);
  return true;
}

}  // namespace brx::util

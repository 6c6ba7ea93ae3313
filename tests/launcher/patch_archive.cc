#include "tests/launcher/patch_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstring>

#include <filesystem>

#include "runtime/platform/process.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

bool PatchArchive::MakeWith7z() const {
  ombrix::test::TempDir stage;
  for (const Entry& e : entries_) {
    std::string path = stage.Sub(e.name);
    fs::create_directories(fs::path(path).parent_path());
    ombrix::test::WriteFile(path, e.data);
    chmod(path.c_str(), e.mode);
  }
  fs::remove(path_);
  auto zip = brx::platform::ChildProcess::Spawn(
      {"/usr/bin/7z", {"a", "-bd", "-bso0", "-y", path_, "."}, stage.path()});
  int status = -1;
  return zip && zip->Wait(60000, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PatchArchive::MakeWithLibarchive() const { return Write(false); }

bool PatchArchive::Write(bool stored) const {
  archive* a = archive_write_new();
  archive_write_set_format_7zip(a);
  if (stored) archive_write_set_format_option(a, "7zip", "compression", "store");
  bool ok = archive_write_open_filename(a, path_.c_str()) == ARCHIVE_OK;
  for (const Entry& e : entries_) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_filetype(entry, e.symlink ? AE_IFLNK : AE_IFREG);
    archive_entry_set_perm(entry, e.mode);
    if (e.symlink) archive_entry_set_symlink(entry, e.data.c_str());
    archive_entry_set_size(entry, e.symlink ? 0 : static_cast<la_int64_t>(e.data.size()));
    ok = ok && archive_write_header(a, entry) == ARCHIVE_OK;
    if (!e.symlink && ok)
      ok = archive_write_data(a, e.data.data(), e.data.size()) ==
           static_cast<la_ssize_t>(e.data.size());
    archive_entry_free(entry);
  }
  ok = archive_write_close(a) == ARCHIVE_OK && ok;
  archive_write_free(a);
  return ok;
}

bool PatchArchive::MakeCorrupt() const {
  if (!MakeWith7z()) return false;
  std::string bytes = ombrix::test::ReadFile(path_);
  for (size_t i = bytes.size() / 2; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + 7);
  ombrix::test::WriteFile(path_, bytes);
  return true;
}

bool PatchArchive::MakeWithWindowsAttributes() const {
  // Stored, the archive's header is plain: each entry's attribute word,
  // written with the Unix extension (0x8000 and the mode in the high half),
  // is cut back to its Windows half, and the two checksums are redone.
  if (!Write(true)) return false;
  std::string bytes = ombrix::test::ReadFile(path_);
  if (bytes.size() < 32) return false;
  uint64_t offset = 0, size = 0;
  memcpy(&offset, bytes.data() + 12, 8);
  memcpy(&size, bytes.data() + 20, 8);
  if (32 + offset + size > bytes.size()) return false;
  std::string header = bytes.substr(32 + offset, size);
  for (const Entry& e : entries_) {
    uint32_t windows = (e.mode & 0222) ? 0x20 : 0x21;
    uint32_t unix_ext = windows | 0x8000u | (static_cast<uint32_t>(S_IFREG | e.mode) << 16);
    std::string from(reinterpret_cast<const char*>(&unix_ext), 4),
        to(reinterpret_cast<const char*>(&windows), 4);
    size_t at = header.find(from);
    if (at == std::string::npos) return false;
    header.replace(at, 4, to);
  }
  bytes.replace(32 + offset, size, header);
  uint32_t header_crc =
      static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(header.data()), header.size()));
  memcpy(bytes.data() + 28, &header_crc, 4);
  uint32_t start_crc =
      static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 20));
  memcpy(bytes.data() + 8, &start_crc, 4);
  ombrix::test::WriteFile(path_, bytes);
  return true;
}

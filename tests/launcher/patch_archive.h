#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A patch archive for tests: the entries are listed first, then the
// archive is made with the 7z program (as patches are made) or, for
// entries that 7z would never write (names leaving the folder, links),
// with libarchive's 7z writer.
class PatchArchive {
 public:
  explicit PatchArchive(std::string path) : path_(std::move(path)) {}

  void Add(const std::string& name, const std::string& data, mode_t mode = 0644) {
    entries_.push_back({name, data, mode, false});
  }
  void AddSymlink(const std::string& name, const std::string& target) {
    entries_.push_back({name, target, 0777, true});
  }

  bool MakeWith7z() const;
  bool MakeWithLibarchive() const;
  // As an archiver on Windows makes it: each entry carries only the
  // Windows attributes (archive, read-only), no permission bits.
  bool MakeWithWindowsAttributes() const;
  // A 7z archive of the entries whose second half is overwritten.
  bool MakeCorrupt() const;

 private:
  struct Entry {
    std::string name;
    std::string data;
    mode_t mode;
    bool symlink;
  };
  bool Write(bool stored) const;

  std::string path_;
  std::vector<Entry> entries_;
};

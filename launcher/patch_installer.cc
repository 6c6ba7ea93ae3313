#include "launcher/patch_installer.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

#include "launcher/extract_7z.h"
#include "launcher/install_file_ops.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/atomic_file.h"
#include "runtime/platform/dirs.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"

namespace {

constexpr char kJournalName[] = "install.journal";
std::atomic<int> g_kill_after_copies{0};

// What the journal holds: the folder it is about, the files kept in the
// back-up ("B"), the files the patch adds ("N") and the folders it makes
// ("D", outermost first).
struct Journal {
  std::string install;
  std::vector<std::string> kept;
  std::vector<std::string> added;
  std::vector<std::string> made_folders;
};

std::string JournalPath(const PatchFolders& folders) { return folders.backup + "/" + kJournalName; }

bool WriteJournal(const PatchFolders& folders, const Journal& journal) {
  std::string text = "I " + journal.install + "\n";
  for (const std::string& p : journal.kept) text += "B " + p + "\n";
  for (const std::string& p : journal.added) text += "N " + p + "\n";
  for (const std::string& p : journal.made_folders) text += "D " + p + "\n";
  return brx::platform::WriteFileAtomically(JournalPath(folders), text, 0600);
}

bool ReadJournal(const PatchFolders& folders, Journal* journal) {
  std::string text;
  if (!brx::util::ReadWholeFile(brx::util::Utf8ToWide(JournalPath(folders)), &text)) return false;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 3 || line[1] != ' ') continue;
    std::string value = line.substr(2);
    switch (line[0]) {
      case 'I':
        journal->install = value;
        break;
      case 'B':
        journal->kept.push_back(value);
        break;
      case 'N':
        journal->added.push_back(value);
        break;
      case 'D':
        journal->made_folders.push_back(value);
        break;
    }
  }
  return !journal->install.empty();
}

// Restores the installation the journal describes. True when every step
// took; otherwise the journal stays for another attempt. A kept file that
// was never replaced (the copy failed on it, or never came to it) is left
// as it is: there is nothing to restore, and restoring it could fail for
// the very reason its copy did.
bool PlayBack(const PatchFolders& folders, const Journal& journal) {
  bool ok = true;
  for (const std::string& path : journal.kept) {
    std::string kept = folders.backup + "/" + path;
    std::string target = journal.install + "/" + path;
    if (IsSameFile(kept, target)) continue;
    struct stat st {};
    // A replaced read-only file is replaced again the same way: the copy
    // goes beside it and is renamed over it, whatever its permissions.
    ok = lstat(kept.c_str(), &st) == 0 && ReplaceFileWith(kept, target, st.st_mode & 07777) && ok;
  }
  for (const std::string& path : journal.added) {
    std::string target = journal.install + "/" + path;
    unlink(ReplacementTempPath(target).c_str());
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && unlink(target.c_str()) != 0)
      ok = false;
  }
  for (const std::string& path : journal.kept)
    unlink(ReplacementTempPath(journal.install + "/" + path).c_str());
  for (auto it = journal.made_folders.rbegin(); it != journal.made_folders.rend(); ++it) {
    if (rmdir((journal.install + "/" + *it).c_str()) != 0 && errno != ENOENT) ok = false;
  }
  return ok;
}

void RemoveFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

void RemoveWorkFolders(const PatchFolders& folders) {
  RemoveFolder(folders.extract);
  RemoveFolder(folders.backup);
}

// Empties the "Log" folder, all but the running program's own log, whose
// open file would otherwise vanish with every line written after this. A
// "Log" that is a link goes itself: what it points to is not the
// installation's.
void ClearLogFolder(const PatchFolders& folders) {
  std::string log = folders.install + "/Log";
  struct stat st {};
  if (lstat(log.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    unlink(log.c_str());
    return;
  }
  std::error_code ec;
  std::filesystem::directory_iterator it(log, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (it->path().string() == folders.own_log) continue;
    std::filesystem::remove_all(it->path(), ec);
  }
  if (folders.own_log.empty() || folders.own_log.rfind(log + "/", 0) != 0)
    std::filesystem::remove(log, ec);
}

// Collects the names of the files that Extract7z writes.
class EntryCollector : public IExtractListener {
 public:
  explicit EntryCollector(const ExtractLimits& limits) : limits_(limits) {}
  void OnEntry(int, int, const std::string& name) override {
    if (seen_.insert(name).second) names_.push_back(name);
  }
  void OnError(int kind, int code, const std::string& name) override {
    if (code == kExtractErrorTooLarge)
      LogWarnA("The patch %s unpacks to more than %llu bytes or %llu files; stopped\n",
               name.c_str(), static_cast<unsigned long long>(limits_.max_bytes),
               static_cast<unsigned long long>(limits_.max_entries));
    else
      LogWarnA("Extract7z: %s failed[%d:%d]\n", name.c_str(), kind, code);
  }
  const std::vector<std::string>& names() const { return names_; }

 private:
  const ExtractLimits limits_;
  std::set<std::string> seen_;
  std::vector<std::string> names_;
};

// Fills the journal: which files to keep, which are new, which folders are
// missing. False when an existing file cannot be kept: it could not be
// restored, so nothing may be copied.
bool KeepReplacedFiles(const PatchFolders& folders, const std::vector<std::string>& names,
                       Journal* journal) {
  std::set<std::string> missing_folders;
  for (const std::string& name : names) {
    std::string target = folders.install + "/" + name;
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) {
        LogWarnA("Backup %s failed![%d]\n", target.c_str(), errno);
        return false;
      }
      journal->added.push_back(name);
      for (size_t slash = name.find('/'); slash != std::string::npos;
           slash = name.find('/', slash + 1)) {
        std::string folder = name.substr(0, slash);
        struct stat fst {};
        if (lstat((folders.install + "/" + folder).c_str(), &fst) != 0)
          missing_folders.insert(folder);
      }
      continue;
    }
    std::string kept = folders.backup + "/" + name;
    brx::platform::MakeDirectories(kept.substr(0, kept.rfind('/')), 0700);
    if (!KeepCopyOf(target, kept)) {
      LogWarnA("Backup %s -> %s failed![%d]\n", target.c_str(), kept.c_str(), errno);
      return false;
    }
    journal->kept.push_back(name);
  }
  // A set of "/"-joined names sorts every folder before the ones inside it.
  journal->made_folders.assign(missing_folders.begin(), missing_folders.end());
  return true;
}

}  // namespace

mode_t InstalledMode(const struct stat* existing, mode_t entry_mode) {
  mode_t mode = (existing ? existing->st_mode : entry_mode) & 0755;
  if ((entry_mode & 0200) == 0) mode &= ~0222;
  return mode;
}

void SetKillAfterCopiesForTesting(int copies) { g_kill_after_copies = copies; }

bool RecoverInterruptedInstall(const PatchFolders& folders) {
  Journal journal;
  if (!ReadJournal(folders, &journal) || journal.install != folders.install) return false;
  if (!PlayBack(folders, journal)) {
    LogWarnA("Rollback of the interrupted patch of %s failed!\n", journal.install.c_str());
    return false;
  }
  RemoveWorkFolders(folders);
  return true;
}

bool InstallPatch(const std::string& archive, const PatchFolders& folders,
                  uint64_t max_unpacked_bytes) {
  Journal pending;
  if (ReadJournal(folders, &pending) && !RecoverInterruptedInstall(folders)) {
    // Clearing the back-up now would lose the only copy of those files.
    LogWarnA("An unfinished patch of %s is pending\n", pending.install.c_str());
    return false;
  }
  ClearLogFolder(folders);
  if (!RecreateFolder(folders.extract) || !RecreateFolder(folders.backup)) {
    LogWarnA("Prepare %s failed![%d]\n", folders.extract.c_str(), errno);
    RemoveWorkFolders(folders);
    return false;
  }
  // The patch may fill neither the disk nor more than any real patch does.
  ExtractLimits limits{std::min(max_unpacked_bytes, FreeSpaceAt(folders.extract)),
                       kMaxPatchEntries};
  EntryCollector entries(limits);
  if (!Extract7z(&entries, archive, folders.extract, limits)) {
    LogWarnA("decode 7z file failed\n");
    RemoveWorkFolders(folders);
    return false;
  }

  Journal journal;
  journal.install = folders.install;
  if (!KeepReplacedFiles(folders, entries.names(), &journal) || !WriteJournal(folders, journal)) {
    RemoveWorkFolders(folders);
    return false;
  }

  int copied = 0;
  for (const std::string& name : entries.names()) {
    std::string source = folders.extract + "/" + name;
    std::string target = folders.install + "/" + name;
    struct stat old {
    }, fresh{};
    bool existed = lstat(target.c_str(), &old) == 0;
    bool ok = stat(source.c_str(), &fresh) == 0;
    mode_t mode = InstalledMode(existed ? &old : nullptr, fresh.st_mode);
    if (ok) ok = brx::platform::MakeDirectories(target.substr(0, target.rfind('/')), 0755);
    if (ok) ok = ReplaceFileWith(source, target, mode);
    if (!ok) {
      LogWarnA("CopyFile %s -> %s failed![%d]\n", source.c_str(), target.c_str(), errno);
      if (PlayBack(folders, journal)) {
        LogWarnA("The patch of %s was rolled back\n", folders.install.c_str());
        RemoveWorkFolders(folders);
      } else {
        // The back-up and its journal are the only copy of what could not
        // be put back: they stay for the next start. The patch goes.
        LogWarnA("Rollback of %s failed!\n", folders.install.c_str());
        RemoveFolder(folders.extract);
      }
      return false;
    }
    if (++copied == g_kill_after_copies.load()) raise(SIGKILL);
  }
  // The journal goes first: from here on the new files are the installation.
  unlink(JournalPath(folders).c_str());
  RemoveWorkFolders(folders);
  return true;
}

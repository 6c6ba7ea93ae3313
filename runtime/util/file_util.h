#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace brx::util {

// One entry of a folder listing.
struct FindData {
  std::wstring name;  // the entry's own name, no folder
  bool is_directory = false;
  uint64_t size = 0;
  time_t creation_time = 0;  // birth time where the file system keeps one, else the write time
  time_t write_time = 0;
};

// One folder of a directory tree; owns its children.
struct DirectoryNode {
  FindData data;
  std::vector<DirectoryNode> children;
  std::vector<FindData> files;
};

// The text before the last "/" or "\"; the whole text when there is neither.
std::wstring GetParentPath(const std::wstring& path);
// The text after the last "."; empty when there is none.
std::wstring GetFileExtension(const std::wstring& path);
// Creates every missing folder of `path`, outermost first; errors ignored.
void CreateDirectories(const std::wstring& path);
// What removing `path` would remove: the absolute path with ".", "..",
// repeated separators and links in the folders above its last name
// resolved. The last name itself is not followed, because removing a link
// removes the link, not what it points to; a last name of "." or ".." is
// resolved like the rest. Empty for a relative path or when the folder
// above does not exist.
std::string ResolveRemovalPath(const std::string& path);
// Folders no deletion may take, however the path is written: "/", the
// home folder and every folder above it, every folder directly below "/",
// and the standard system folders one level further down ("/usr/lib",
// "/var/lib", another user's "/home/<name>", ...). A relative path counts
// as protected: there is no telling what it names.
bool IsProtectedFolder(const std::string& path);
// Deletes a folder and everything below it for good. Refuses relative and
// protected paths (see IsProtectedFolder); never follows a link out of the
// tree, and a link given as the folder is removed itself.
bool DeleteDirectoryTree(const std::wstring& folder);

// Listings walk every entry, sorted by name within a folder so the order is
// the same on every run; "." and ".." are skipped by name; links to folders
// are not followed. A folder that cannot be read lists nothing.

// Appends folder + "/" + name of every file below `folder`, or only of the
// files whose extension equals `extension` (no dot, any letter case).
void ListFilesRecursive(const std::wstring& folder, std::vector<std::wstring>* files,
                        const wchar_t* extension = nullptr);
// Appends the record of every file and folder below `folder`, each folder's
// record before its contents.
void ListFindDataRecursive(const std::wstring& folder, std::vector<FindData>* entries);
// Fills `node` with the folder's own record and, recursively, its contents;
// a folder that cannot be found leaves the node untouched.
void BuildDirectoryTree(const std::wstring& folder, DirectoryNode* node);

// A file (not a folder) "gsc.test" exists in the current folder.
bool IsGscTestPresent();
bool IsDirectory(const std::wstring& path);
bool FileExists(const std::wstring& path);

// Reads a whole file's bytes; false when it cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string* out);
// Writes a file through a temporary file and a rename, so readers never see
// half of it.
bool WriteWholeFileAtomic(const std::wstring& path, const std::string& data);
// Copies `from` over `to` (through a temporary file and a rename).
bool CopyFileOver(const std::wstring& from, const std::wstring& to);

}  // namespace brx::util

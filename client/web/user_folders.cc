#include "client/web/user_folders.h"

#include <filesystem>
#include <vector>

#include "runtime/util/text_convert.h"

namespace fs = std::filesystem;

namespace {

bool MoveInto(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::create_directories(to, ec);
  bool all = !ec;
  // Listed first: the folder changes under us while its entries move out.
  std::vector<fs::directory_entry> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(from, ec))
    entries.push_back(entry);
  for (const fs::directory_entry& entry : entries) {
    fs::path target = to / entry.path().filename();
    if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
      all = MoveInto(entry.path(), target) && all;
      fs::remove(entry.path(), ec);
      continue;
    }
    fs::rename(entry.path(), target, ec);
    if (ec) {  // another file system: copy, then remove
      fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing, ec);
      if (!ec) fs::remove(entry.path(), ec);
    }
    if (ec) all = false;
  }
  return all;
}

}  // namespace

std::wstring UserFolderName(const std::wstring& account) {
  if (account.empty()) return L"%";
  if (account == L".") return L"%2E";
  if (account == L"..") return L"%2E%2E";
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring name;
  for (wchar_t c : account) {
    if (c == L'/' || c == L'\\' || c == L'%' || c < 0x20 || c == 0x7F) {
      name += L'%';
      name += kHex[(c >> 4) & 15];
      name += kHex[c & 15];
    } else {
      name += c;
    }
  }
  return name;
}

bool MoveFolderContents(const std::wstring& from, const std::wstring& to) {
  fs::path source(brx::util::WideToUtf8(from));
  fs::path target(brx::util::WideToUtf8(to));
  std::error_code ec;
  if (!fs::is_directory(source, ec)) return true;
  if (fs::equivalent(source, target, ec)) return true;
  return MoveInto(source, target);
}

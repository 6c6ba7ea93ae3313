#include "client/ui/settings/store_folder_size.h"

#include <filesystem>
#include <system_error>

#include "runtime/util/text_convert.h"

uint64_t StoreFolderSize(const std::wstring& folder) {
  if (folder.empty()) return 0;
  namespace fs = std::filesystem;
  std::error_code ec;
  uint64_t total = 0;
  fs::recursive_directory_iterator it(fs::path(brx::util::WideToUtf8(folder)),
                                      fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code entry_ec;
    if (!it->is_regular_file(entry_ec) || it->is_symlink(entry_ec)) continue;
    uint64_t size = it->file_size(entry_ec);
    if (!entry_ec) total += size;
  }
  return total;
}

bool ExceedsQuota(uint64_t bytes, int megabytes) {
  if (megabytes < 0) megabytes = 0;
  return bytes > static_cast<uint64_t>(megabytes) * 1048576ULL;
}

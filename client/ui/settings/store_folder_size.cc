#include "client/ui/settings/store_folder_size.h"

#include <filesystem>
#include <system_error>

#include "runtime/util/text_convert.h"

FolderSize MeasureFolder(const std::wstring& folder, const FolderWalkLimits& limits,
                         const std::atomic<bool>* stop) {
  FolderSize result;
  if (limits.on_entry_for_testing) limits.on_entry_for_testing();
  if (folder.empty()) {
    result.complete = true;
    return result;
  }
  namespace fs = std::filesystem;
  const auto deadline = std::chrono::steady_clock::now() + limits.max_time;
  std::error_code ec;
  fs::recursive_directory_iterator it(fs::path(brx::util::WideToUtf8(folder)),
                                      fs::directory_options::skip_permission_denied, ec);
  size_t entries = 0;
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (limits.on_entry_for_testing) limits.on_entry_for_testing();
    if ((stop != nullptr && stop->load()) || ++entries > limits.max_entries ||
        std::chrono::steady_clock::now() > deadline) {
      return result;
    }
    std::error_code entry_ec;
    if (!it->is_regular_file(entry_ec) || it->is_symlink(entry_ec)) continue;
    uint64_t size = it->file_size(entry_ec);
    if (!entry_ec) result.bytes += size;
  }
  // A folder that is not there holds nothing; one that cannot be read to
  // the end was not measured.
  result.complete = !ec || ec == std::errc::no_such_file_or_directory;
  return result;
}

bool ExceedsQuota(uint64_t bytes, int megabytes) {
  if (megabytes < 0) megabytes = 0;
  return bytes > static_cast<uint64_t>(megabytes) * 1048576ULL;
}

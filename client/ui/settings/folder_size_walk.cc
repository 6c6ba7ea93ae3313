#include "client/ui/settings/folder_size_walk.h"

#include <utility>

#include "uilib/winsys/win_api.h"

FolderSizeWalk::FolderSizeWalk(uilib::HWND notify, uilib::UINT done_message)
    : notify_(notify), done_message_(done_message) {}

FolderSizeWalk::~FolderSizeWalk() { Stop(); }

void FolderSizeWalk::Start(const std::wstring& folder, FolderWalkLimits limits) {
  Stop();
  stop_ = false;
  thread_ = std::thread([this, folder, limits = std::move(limits)] {
    FolderSize size = MeasureFolder(folder, limits, &stop_);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      result_ = size;
    }
    uilib::PostMessage(notify_, done_message_, 0, 0);
  });
}

std::optional<FolderSize> FolderSizeWalk::Take() {
  std::optional<FolderSize> taken;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    taken = std::exchange(result_, std::nullopt);
  }
  // The result is set just before the thread ends, so this join is short.
  if (taken && thread_.joinable()) thread_.join();
  return taken;
}

void FolderSizeWalk::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  result_.reset();
}

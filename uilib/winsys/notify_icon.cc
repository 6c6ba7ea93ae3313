#include "uilib/winsys/notify_icon.h"

#include <map>
#include <mutex>

namespace uilib {

namespace {

struct Icons {
  std::mutex mutex;
  std::map<int, std::string> paths;
};

Icons& I() {
  static Icons* icons = new Icons;
  return *icons;
}

}  // namespace

void RegisterIconResource(int id, const std::string& path) {
  std::lock_guard<std::mutex> lock(I().mutex);
  I().paths[id] = path;
}

std::string GetIconResourcePath(int id) {
  std::lock_guard<std::mutex> lock(I().mutex);
  auto it = I().paths.find(id);
  return it == I().paths.end() ? std::string() : it->second;
}

}  // namespace uilib

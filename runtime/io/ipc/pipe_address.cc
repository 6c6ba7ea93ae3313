#include "runtime/io/ipc/pipe_address.h"

#include <cstddef>
#include <cstring>

#include "runtime/logmaker/log.h"
#include "runtime/platform/dirs.h"
#include "runtime/util/text_convert.h"

namespace brx::io::ipc {

std::string PipePath(const std::wstring& name) {
  std::string folder = platform::PipeDirectory();
  if (folder.empty()) return {};
  return folder + "/" + util::WideToUtf8(name);
}

bool MakePipeAddress(const std::string& path, sockaddr_un* address, socklen_t* length) {
  if (path.empty()) return false;
  memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof address->sun_path) {
    LogWarnA("%s:%d:pipe path is %zu bytes, a Unix socket takes at most %zu: %s\n",
             "MakePipeAddress", __LINE__, path.size(), sizeof address->sun_path - 1, path.c_str());
    return false;
  }
  memcpy(address->sun_path, path.data(), path.size());
  *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

}  // namespace brx::io::ipc

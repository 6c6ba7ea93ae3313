#include "runtime/util/mac_address.h"

#include <mutex>

#include "runtime/platform/system_info.h"
#include "runtime/util/text_convert.h"

namespace brx::util {

namespace {
std::mutex g_mutex;
std::wstring g_address;
}  // namespace

bool QueryMacAddress() {
  std::string address;
  bool ok = platform::QueryAdapterAddress(&address);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_address = ok ? Utf8ToWide(address) : L"";
  return ok;
}

std::wstring GetQueriedMacAddress() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_address;
}

}  // namespace brx::util

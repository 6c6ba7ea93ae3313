#include "runtime/util/process_util.h"

#include <cwctype>

#include "runtime/platform/process.h"
#include "runtime/util/text_convert.h"

namespace brx::util {

namespace {

bool SamePathNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

}  // namespace

bool FindProcessByPath(const std::wstring& image_path, pid_t* pid) {
  if (image_path.empty()) return false;
  for (const platform::ProcessImage& p : platform::ListProcessImages()) {
    if (SamePathNoCase(Utf8ToWide(p.path), image_path)) {
      *pid = p.pid;
      return true;
    }
  }
  return false;
}

bool SignalProcessByPath(pid_t pid, const std::wstring& image_path, int signal) {
  return platform::SignalProcessIf(
      pid, [&](const std::string& image) { return SamePathNoCase(Utf8ToWide(image), image_path); },
      signal);
}

bool FindFirstThreadOfProcess(pid_t pid, pid_t* thread_id) {
  pid_t tid = platform::FirstThreadOfProcess(pid);
  if (tid == 0) return false;
  *thread_id = tid;
  return true;
}

long AddFirewallException(const std::wstring&) { return 0; }

}  // namespace brx::util

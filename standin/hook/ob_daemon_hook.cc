// Stand-in for the outside hook library OBDaemon.dll. It installs nothing;
// it records every call, one line each, so tests can prove what the hook
// daemon did:
//   $OMBRIX_HOOK_RECORD, else OBDaemon.calls beside the library.
// Builds that lack one entry (OMBRIX_HOOK_WITHOUT_<entry>) play a broken
// library.
// Test switches (environment):
//   OMBRIX_HOOK_FAIL=calc|install   that call returns false
//   OMBRIX_HOOK_CRASH=calc|install|uninstall   that call crashes the process

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string RecordPath() {
  if (const char* p = getenv("OMBRIX_HOOK_RECORD"); p && *p) return p;
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&RecordPath), &info) || !info.dli_fname)
    return "OBDaemon.calls";
  std::string self = info.dli_fname;
  return self.substr(0, self.rfind('/') + 1) + "OBDaemon.calls";
}

bool Switched(const char* variable, const char* call) {
  const char* v = getenv(variable);
  return v && strcmp(v, call) == 0;
}

void Record(const char* call) {
  std::string line = std::string(call) + " pid=" + std::to_string(getpid()) + "\n";
  int fd = open(RecordPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  (void)!write(fd, line.data(), line.size());
  close(fd);
}

// Enters a call: records it and applies the crash switch.
void Enter(const char* call, const char* name) {
  Record(name);
  if (Switched("OMBRIX_HOOK_CRASH", call)) raise(SIGSEGV);
}

}  // namespace

extern "C" {

#ifndef OMBRIX_HOOK_WITHOUT_CalcDX9FuncRVA
__attribute__((visibility("default"))) bool CalcDX9FuncRVA(int* first, int* second) {
  Enter("calc", "CalcDX9FuncRVA");
  if (Switched("OMBRIX_HOOK_FAIL", "calc")) {
    *first = 17;
    *second = 42;
    return false;
  }
  *first = 0x1000;
  *second = 0x2000;
  return true;
}
#endif

#ifndef OMBRIX_HOOK_WITHOUT_InstallGlobalHook
__attribute__((visibility("default"))) bool InstallGlobalHook() {
  Enter("install", "InstallGlobalHook");
  return !Switched("OMBRIX_HOOK_FAIL", "install");
}
#endif

#ifndef OMBRIX_HOOK_WITHOUT_UninstallGlobalHook
__attribute__((visibility("default"))) void UninstallGlobalHook() {
  Enter("uninstall", "UninstallGlobalHook");
}
#endif
}

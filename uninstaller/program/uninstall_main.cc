// The uninstaller OBUninstall.exe. Started from the installation, it copies
// itself to the user's private temporary folder and restarts from there
// with the edition key and the install folder, because it removes the
// folder it lives in. The copy makes sure it runs once, that neither the
// main client nor the game runs, and that the folder is an installation;
// then it removes it and reports the removal. The copy deletes itself at
// the end. Nothing is ever logged: the log folder goes with the rest.

#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "runtime/http/service_hosts.h"
#include "runtime/platform/dirs.h"
#include "runtime/platform/process.h"
#include "runtime/platform/single_instance_lock.h"
#include "runtime/base/quit_signal_watcher.h"
#include "runtime/util/edition.h"
#include "runtime/util/edition_registry.h"
#include "runtime/util/file_util.h"
#include "runtime/util/module_path.h"
#include "runtime/util/registry.h"
#include "runtime/util/text_convert.h"
#include "uilib/winsys/win_api.h"
#include "uninstaller/installation_guard.h"
#include "uninstaller/program/console_uninstall_view.h"
#include "uninstaller/ui/uninstall_dialog.h"
#include "uninstaller/uninstall_command_line.h"

namespace {

constexpr char kTemporaryCopyName[] = "OBUinstall.temp";

int StartTemporaryCopy() {
  std::string temp = brx::platform::TempDirectory();
  std::string folder = brx::util::WideToUtf8(brx::util::GetModuleDirectory(nullptr));
  std::string key = brx::util::WideToUtf8(brx::util::GetEditionKey());
  if (temp.empty() || folder.empty() || key.empty()) return 0;
  std::string copy = temp + "/" + kTemporaryCopyName;
  unlink(copy.c_str());
  if (!brx::util::CopyFileOver(brx::util::Utf8ToWide(brx::platform::ExecutablePath()),
                               brx::util::Utf8ToWide(copy)))
    return 0;
  brx::platform::ChildProcess::Spawn({copy, UninstallCopyArguments(key, folder), ""});
  return 0;
}

// The copy in the temporary folder deletes itself however it ends. A copy
// that a newer start has replaced meanwhile is already gone by that name,
// and the newer one is left alone.
class TemporaryCopyRemover {
 public:
  ~TemporaryCopyRemover() {
    std::string self = brx::platform::ExecutablePath();
    if (self.size() > sizeof kTemporaryCopyName &&
        self.substr(self.rfind('/') + 1) == kTemporaryCopyName)
      unlink(self.c_str());
  }
};

// The product's web site as the launcher recorded it; empty: the layout's.
std::string RecordedWebsite() {
  std::wstring website;
  brx::util::ReadRegistryString(brx::util::ProductRegistryPath(brx::util::kCurrentUserRoot),
                                L"Website", &website);
  return brx::util::WideToUtf8(website);
}

// The dialog, with the layout that came with the installation; 0 when it
// cannot be shown (then the pages are asked on the console).
int RunDialog(const std::string& install, const std::string& key, bool* shown) {
  std::string layout = install + "/OBUninstall.xml";
  *shown = false;
  if (access(layout.c_str(), R_OK) != 0) return 0;
  UninstallDialog dialog(
      brx::util::Utf8ToWide(layout), key, install, brx::util::GetEditionVersion(),
      brx::http::DataCollectHost(brx::util::GetEditionGlobalConfig()), RecordedWebsite());
  if (!dialog.Open()) return 0;
  *shown = true;
  // Quit signals wait for the window: it decides when the program may end.
  brx::base::BlockQuitSignals();
  uilib::MSG msg;
  while (uilib::GetMessage(&msg)) {
    uilib::TranslateMessage(&msg);
    uilib::DispatchMessage(&msg);
  }
  dialog.WaitForReport();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command_line = JoinArguments(argc, argv);
  if (command_line.find(kUninstallSwitch) == std::string::npos) return StartTemporaryCopy();
  TemporaryCopyRemover remover;

  std::string key, folder;
  if (!ParseUninstallCommandLine(command_line, &key, &folder)) return 0;
  std::unique_ptr<brx::platform::SingleInstanceLock> instance;
  if (brx::platform::SingleInstanceLock::Acquire("OBUNINSTALL_MUTEX", &instance) !=
      brx::platform::SingleInstanceLock::Result::kAcquired)
    return 0;

  int result = 0;
  // The console stands in where no window is wanted (OMBRIX_UNINSTALL_VIEW=console).
  const char* view_choice = getenv("OMBRIX_UNINSTALL_VIEW");
  bool windows = !view_choice || std::string(view_choice) != "console";
  if (!IsInstallationFolder(folder, key)) {
    fprintf(stdout, "提示: %s\n", brx::util::WideToUtf8(NotAnInstallationText(folder)).c_str());
    if (windows) ShowNotAnInstallation(folder);
  } else {
    char real[PATH_MAX];
    std::string install = realpath(folder.c_str(), real) ? real : folder;
    brx::util::SetEditionLibraryPath(install + "/OBVerCustom.dll");
    bool shown = false;
    if (windows) result = RunDialog(install, key, &shown);
    if (!shown) {
      ConsoleUninstallView view(key, install, brx::util::GetEditionVersion(),
                                brx::http::DataCollectHost(brx::util::GetEditionGlobalConfig()));
      result = view.Run(stdin, stdout);
    }
  }
  fflush(stdout);
  return result;
}

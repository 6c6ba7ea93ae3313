#include <sys/prctl.h>

#include "client/host/obhost_main.h"
#include "runtime/base/block_quit_signals_at_load.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/crash_handler.h"

BRX_BLOCK_QUIT_SIGNALS_AT_LOAD();

namespace {

// Installed before main, so a crash during start-up is reported too. On a
// crash the report is written beside the program, the crash is logged, the
// uploader is started on the report and the process ends with exit code 0.
const bool g_crash_handler =
    brx::util::InstallProgramCrashHandler("OBHost.exe", brx::logmaker::AppLogPath(false));

}  // namespace

int main(int argc, char** argv) {
  (void)g_crash_handler;
  // Started as OBHost.exe, which becomes this body: the process keeps the
  // program's name.
  prctl(PR_SET_NAME, "OBHost.exe");
  return OBHostMain(argc, argv);
}

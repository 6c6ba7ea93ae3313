// The crash report uploader: started by a crashing program with the path
// of its fresh report, it sends the report compressed to the image storage
// server and ends. Silent whatever happens; the exit code is always 0.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "bugreporter/dump_upload.h"
#include "runtime/base/block_quit_signals_at_load.h"
#include "runtime/util/module_path.h"
#include "runtime/util/text_convert.h"

BRX_BLOCK_QUIT_SIGNALS_AT_LOAD();

int main(int argc, char** argv) {
  // A quit request (blocked since load) cuts the upload short; the report
  // stays on disk and the uploader still ends in its usual way.
  sigset_t quit;
  sigemptyset(&quit);
  sigaddset(&quit, SIGTERM);
  sigaddset(&quit, SIGINT);
  int quit_fd = signalfd(-1, &quit, SFD_NONBLOCK | SFD_CLOEXEC);
  brx::http::AbortSignal abort;
  if (quit_fd >= 0) {
    abort.wake_fd = quit_fd;
    abort.aborted = [quit_fd] {
      pollfd p{quit_fd, POLLIN, 0};
      return poll(&p, 1, 0) > 0;
    };
  }

  std::string path = DumpPathFromArguments(argc, argv);
  // A relative report path is taken before the change of folder.
  if (!path.empty() && path[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
  }
  std::string folder = brx::util::WideToUtf8(brx::util::GetModuleDirectory(nullptr));
  if (chdir(folder.c_str()) == 0) UploadDump(path, abort);
  if (quit_fd >= 0) close(quit_fd);
  return 0;
}

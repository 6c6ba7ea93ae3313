// Plays the hook daemon for the start-up tests: reports that it started
// (current folder, argument count) to the file named by
// $FAKE_OBDAEMON_REPORT, then waits for signals. With "--ignore-term" it
// survives SIGTERM and reports it with "term" lines (signals that arrive
// close together may be reported once). With $FAKE_OBDAEMON_EXIT set it
// ends right after the report, never connecting.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int report_fd = -1;

void OnTerm(int) {
  static const char kLine[] = "term\n";
  if (report_fd >= 0) (void)!write(report_fd, kLine, sizeof kLine - 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* report = getenv("FAKE_OBDAEMON_REPORT"))
    report_fd = open(report, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  // The handler is in place before the start is reported, so that a test
  // that waits for the report never hits the default action.
  if (argc > 1 && strcmp(argv[1], "--ignore-term") == 0) {
    struct sigaction action {};
    action.sa_handler = OnTerm;
    sigaction(SIGTERM, &action, nullptr);
  }
  char cwd[4096] = {};
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
  char line[4200];
  int n = snprintf(line, sizeof line, "started cwd=%s args=%d\n", cwd, argc - 1);
  if (report_fd >= 0 && n > 0) (void)!write(report_fd, line, static_cast<size_t>(n));
  // A daemon that gives up before it connects.
  if (getenv("FAKE_OBDAEMON_EXIT")) return 0;
  for (;;) pause();
}

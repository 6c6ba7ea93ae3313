// Stand-in for the outside update applier: the launcher starts it after
// every run and relies on nothing it does. It records that it ran (its
// arguments and working folder) as one line appended to the file that
// $OMBRIX_UPDATER_RECORD names, and exits 0.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* record = getenv("OMBRIX_UPDATER_RECORD");
  if (!record || !*record) return 0;
  char cwd[4096] = "";
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
  std::string line = "ran cwd=" + std::string(cwd) + " argc=" + std::to_string(argc - 1);
  for (int i = 1; i < argc; ++i) line += std::string(" [") + argv[i] + "]";
  line += "\n";
  int fd = open(record, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  ssize_t n = write(fd, line.data(), line.size());
  close(fd);
  (void)n;  // a lost record shows in the test that looks for it
  return 0;
}

// A program that crashes on request, for the crash handler's tests.
//   crasher segv|orphan|abort|fault-in-callback|throw|two-threads [marker-file]
// Its callback writes the report's path to the marker file (async-signal-
// safely) and exits 0, as the real programs' callbacks end the process.

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "runtime/base/thread.h"
#include "runtime/util/crash_handler.h"

namespace {

const char* g_marker = nullptr;
bool g_fault_in_callback = false;

// A page no one may touch: a real fault the sanitizers don't intercept.
volatile int* g_forbidden = nullptr;

void OnCrash(const char* dump_path) {
  if (g_marker) {
    int fd = open(g_marker, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      (void)!write(fd, dump_path, strlen(dump_path));
      (void)!write(fd, "\n", 1);
      close(fd);
    }
  }
  if (g_fault_in_callback) *g_forbidden = 2;  // a second fault, inside the handler
  _exit(0);
}

[[gnu::noinline]] void Segv() { *g_forbidden = 1; }

class Thrower : public brx::base::ThreadRun {
 public:
  Thrower() : ThreadRun("test.Thrower") {}
  ~Thrower() override { Stop(); }

 protected:
  int Run() override { throw std::runtime_error("uncaught on a worker"); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  g_marker = argc > 2 ? argv[2] : nullptr;
  brx::util::InstallCrashHandler(L"9.9.9", OnCrash);
  g_forbidden = static_cast<volatile int*>(
      mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  std::string mode = argv[1];
  if (mode == "segv") Segv();
  if (mode == "fault-in-callback") {
    g_fault_in_callback = true;
    abort();
  }
  if (mode == "orphan") {
    // Its folder vanishes before the crash, so no report can be written.
    std::string self = argv[0];
    unlink(self.c_str());
    rmdir(self.substr(0, self.rfind('/')).c_str());
    Segv();
  }
  if (mode == "abort") abort();
  if (mode == "throw") {
    Thrower t;
    t.Start();
    pause();
  }
  if (mode == "two-threads") {
    std::atomic<int> ready{0};
    auto crash = [&] {
      ready++;
      while (ready.load() < 2) {
      }
      Segv();
    };
    std::thread a(crash), b(crash);
    a.join();
    b.join();
  }
  return 3;
}

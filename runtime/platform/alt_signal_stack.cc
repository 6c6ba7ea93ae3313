#include "runtime/platform/alt_signal_stack.h"

#include <signal.h>
#include <sys/mman.h>

#include <cstddef>

namespace brx::platform {

namespace {

// 64 KiB: enough for the crash handler's own frames and a backtrace.
constexpr size_t kStackSize = 64 * 1024;

class AltStack {
 public:
  AltStack() {
    void* mem =
        mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED) return;
    stack_t st{};
    st.ss_sp = mem;
    st.ss_size = kStackSize;
    if (sigaltstack(&st, nullptr) == 0) {
      mem_ = mem;
    } else {
      munmap(mem, kStackSize);
    }
  }
  ~AltStack() {
    if (!mem_) return;
    stack_t st{};
    st.ss_flags = SS_DISABLE;
    sigaltstack(&st, nullptr);
    munmap(mem_, kStackSize);
  }

 private:
  void* mem_ = nullptr;
};

}  // namespace

void EnsureAltSignalStack() { thread_local AltStack stack; }

}  // namespace brx::platform

#include "runtime/util/crash_handler.h"

#include <execinfo.h>
#include <sched.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <exception>
#include <typeinfo>
#include <climits>
#include <cstdint>
#include <cstring>

#include "runtime/platform/alt_signal_stack.h"
#include "runtime/platform/dirs.h"
#include "runtime/util/edition.h"
#include "runtime/util/text_convert.h"

extern char** environ;

namespace brx::util {

namespace {

// Everything the handler needs, filled before any crash can happen.
struct CrashRecord {
  char folder[PATH_MAX];
  char file_name[NAME_MAX + 1];
  char version[128];
  char dump_path[PATH_MAX];
  long utc_offset_seconds;
  CrashCallback callback;
  // What an uncaught exception said, when one ended the process.
  char exception[512];
  // For ReportCrashAndExit.
  char uploader[PATH_MAX];
  char log_path[PATH_MAX];
  char program[64];
  // The signal being reported.
  int signal;
};

CrashRecord g_record;
std::atomic<bool> g_installed{false};
// The thread writing the report (0: none yet), and whether the callback ran.
std::atomic<pid_t> g_reporter{0};
std::atomic<bool> g_called_back{false};

void CopyTo(char* dst, size_t size, const std::string& src) {
  size_t n = src.size() < size - 1 ? src.size() : size - 1;
  memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

// A fixed buffer that only async-signal-safe code fills.
class SafeText {
 public:
  SafeText& Add(const char* s) {
    while (*s && len_ < sizeof(buf_) - 1) buf_[len_++] = *s++;
    buf_[len_] = '\0';
    return *this;
  }
  SafeText& Dec(int64_t v) {
    char tmp[24];
    int n = 0;
    bool neg = v < 0;
    uint64_t u = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    do {
      tmp[n++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u);
    if (neg) Add("-");
    while (n) {
      char c[2] = {tmp[--n], 0};
      Add(c);
    }
    return *this;
  }
  SafeText& Pad(int64_t v, int width) {  // blank-padded decimal
    SafeText digits;
    digits.Dec(v);
    for (size_t i = digits.len_; i < static_cast<size_t>(width); ++i) Add(" ");
    return Add(digits.buf_);
  }
  SafeText& Hex(uint64_t v) {
    static const char kDigits[] = "0123456789abcdef";
    char tmp[17];
    int n = 0;
    do {
      tmp[n++] = kDigits[v & 15];
      v >>= 4;
    } while (v);
    Add("0x");
    while (n) {
      char c[2] = {tmp[--n], 0};
      Add(c);
    }
    return *this;
  }
  const char* c_str() const { return buf_; }
  size_t size() const { return len_; }

 private:
  char buf_[1024] = {};
  size_t len_ = 0;
};

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteText(int fd, const SafeText& text) { return WriteAll(fd, text.c_str(), text.size()); }

struct LocalTime {
  int64_t year, month, day, hour, minute, second;
};

// Local time from the clock and the offset taken at installation
// (localtime_r is not async-signal-safe).
LocalTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  int64_t t = ts.tv_sec + g_record.utc_offset_seconds;
  int64_t days = t / 86400, rem = t % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01.
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t doe = days - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  LocalTime lt;
  lt.day = doy - (153 * mp + 2) / 5 + 1;
  lt.month = mp < 10 ? mp + 3 : mp - 9;
  lt.year = yoe + era * 400 + (lt.month <= 2);
  lt.hour = rem / 3600;
  lt.minute = rem / 60 % 60;
  lt.second = rem % 60;
  return lt;
}

void BuildDumpPath() {
  LocalTime t = Now();
  SafeText p;
  p.Add(g_record.folder).Add("/").Add(g_record.version).Add(".").Add(g_record.file_name).Add(".");
  p.Dec(t.year)
      .Add("-")
      .Dec(t.month)
      .Add("-")
      .Dec(t.day)
      .Add("-")
      .Dec(t.hour)
      .Add(".")
      .Dec(t.minute)
      .Add(".");
  p.Dec(t.second).Add(".dmp");
  size_t n = p.size() < sizeof(g_record.dump_path) - 1 ? p.size() : sizeof(g_record.dump_path) - 1;
  memcpy(g_record.dump_path, p.c_str(), n);
  g_record.dump_path[n] = '\0';
}

bool WriteRegisters(int fd, const ucontext_t* uc) {
  bool ok = true;
#if defined(__x86_64__)
  static const struct {
    const char* name;
    int index;
  } kRegs[] = {{"rip", REG_RIP}, {"rsp", REG_RSP}, {"rbp", REG_RBP}, {"rax", REG_RAX},
               {"rbx", REG_RBX}, {"rcx", REG_RCX}, {"rdx", REG_RDX}, {"rsi", REG_RSI},
               {"rdi", REG_RDI}, {"r8", REG_R8},   {"r9", REG_R9},   {"r10", REG_R10},
               {"r11", REG_R11}, {"r12", REG_R12}, {"r13", REG_R13}, {"r14", REG_R14},
               {"r15", REG_R15}, {"efl", REG_EFL}};
  for (const auto& r : kRegs) {
    SafeText line;
    line.Add("  ")
        .Add(r.name)
        .Add(" ")
        .Hex(static_cast<uint64_t>(uc->uc_mcontext.gregs[r.index]))
        .Add("\n");
    ok = WriteText(fd, line) && ok;
  }
#else
  (void)fd;
  (void)uc;
#endif
  return ok;
}

bool CopyFileTo(int fd, const char* path) {
  int in = open(path, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  char buf[4096];
  ssize_t n;
  bool ok = true;
  while ((n = read(in, buf, sizeof buf)) > 0) ok = WriteAll(fd, buf, static_cast<size_t>(n)) && ok;
  close(in);
  return ok;
}

// Reported where a debugger would see it: standard error.
void ReportFailure(const char* what, const char* path, int error) {
  SafeText msg;
  msg.Add(what).Add(path).Add("' (error ").Dec(error).Add(")\n");
  WriteText(STDERR_FILENO, msg);
}

bool WriteReport(int sig, const siginfo_t* info, const ucontext_t* uc) {
  // Registers and the memory map are nobody else's business; a report
  // overwritten within the same second keeps no wider mode either.
  int fd = open(g_record.dump_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    ReportFailure("Failed to create the mini-dump file '", g_record.dump_path, errno);
    return false;
  }
  fchmod(fd, 0600);
  SafeText head;
  head.Add("Ombrix crash report\nprogram: ")
      .Add(g_record.file_name)
      .Add("\nversion: ")
      .Add(g_record.version);
  head.Add("\npid: ")
      .Dec(getpid())
      .Add("\nthread: ")
      .Dec(static_cast<int64_t>(syscall(SYS_gettid)));
  head.Add("\nsignal: ").Dec(sig).Add(" code ").Dec(info ? info->si_code : 0);
  head.Add("\naddress: ").Hex(info ? reinterpret_cast<uintptr_t>(info->si_addr) : 0).Add("\n");
  if (g_record.exception[0]) head.Add("exception: ").Add(g_record.exception).Add("\n");
  head.Add("registers:\n");
  bool ok = WriteText(fd, head);
  if (uc) ok = WriteRegisters(fd, uc) && ok;
  ok = WriteAll(fd, "backtrace:\n", 11) && ok;
  void* frames[64];
  int n = backtrace(frames, 64);
  backtrace_symbols_fd(frames, n, fd);
  ok = WriteAll(fd, "maps:\n", 6) && ok;
  ok = CopyFileTo(fd, "/proc/self/maps") && ok;
  int error = errno;
  ok = close(fd) == 0 && ok;
  if (!ok) ReportFailure("Failed to save the mini-dump file to '", g_record.dump_path, error);
  return ok;
}

// The uploader's child runs on a stack of its own; it only resets its
// signal state and replaces itself with the uploader.
alignas(16) char g_child_stack[64 * 1024];
const char* g_child_report = nullptr;

int UploaderChild(void*) {
  // A new session, so the uploader outlives whatever ends our group.
  setsid();
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  char* argv[] = {g_record.uploader, const_cast<char*>(g_child_report), nullptr};
  execve(g_record.uploader, argv, environ);
  _exit(127);
}

// Not fork: fork takes the allocator's locks, which a crash inside the
// allocator may hold for ever. A child sharing our memory on its own stack
// needs no lock and leaves our stack alone until it has called execve.
void StartUploader(const char* dump_path) {
  g_child_report = dump_path;
  clone(UploaderChild, g_child_stack + sizeof g_child_stack, CLONE_VM | CLONE_VFORK | SIGCHLD,
        nullptr);
}

void CallBackOnce() {
  if (!g_called_back.exchange(true) && g_record.callback) g_record.callback(g_record.dump_path);
}

void HandleCrash(int sig, siginfo_t* info, void* context) {
  pid_t me = static_cast<pid_t>(syscall(SYS_gettid));
  pid_t reporter = 0;
  if (!g_reporter.compare_exchange_strong(reporter, me)) {
    if (reporter == me) {
      g_record.signal = sig;
      // A fault while writing the report: go straight to the callback with
      // what was written.
      CallBackOnce();
      _exit(128 + sig);
    }
    // Another thread is reporting; it ends the process.
    while (true) pause();
  }
  g_record.signal = sig;
  BuildDumpPath();
  WriteReport(sig, info, static_cast<ucontext_t*>(context));
  CallBackOnce();
  // The callback returned: die of the original signal.
  signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  _exit(128 + sig);
}

// An uncaught exception: keep what it said for the report, then end as the
// default handler does, through abort and so through the crash handler.
[[noreturn]] void OnTerminate() {
  if (std::exception_ptr e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      CopyTo(g_record.exception, sizeof g_record.exception,
             std::string(typeid(ex).name()) + ": " + ex.what());
    } catch (...) {
      CopyTo(g_record.exception, sizeof g_record.exception, "an exception of unknown type");
    }
  }
  abort();
}

}  // namespace

bool InstallCrashHandler(const std::wstring& version, CrashCallback callback) {
  std::string exe = platform::ExecutablePath();
  size_t slash = exe.rfind('/');
  CopyTo(g_record.folder, sizeof g_record.folder,
         slash == std::string::npos ? "." : exe.substr(0, slash));
  CopyTo(g_record.file_name, sizeof g_record.file_name, exe.substr(slash + 1));
  CopyTo(g_record.version, sizeof g_record.version, WideToUtf8(version));
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  g_record.utc_offset_seconds = local.tm_gmtoff;
  g_record.callback = callback;

  // Load what backtrace needs now; it cannot load a library in the handler.
  void* warm[4];
  backtrace(warm, 4);
  platform::EnsureAltSignalStack();

  std::set_terminate(OnTerminate);
  struct sigaction sa {};
  sa.sa_sigaction = HandleCrash;
  // No deferring: a fault inside the handler itself must reach it again
  // (and end the process) rather than be fatal while blocked.
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  bool ok = true;
  for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
    ok = sigaction(sig, &sa, nullptr) == 0 && ok;
  g_installed = ok;
  return ok;
}

void PrepareCrashReportUpload(const std::string& uploader_path, const std::string& log_path,
                              const std::string& program_name, const std::wstring& version) {
  CopyTo(g_record.uploader, sizeof g_record.uploader, uploader_path);
  CopyTo(g_record.log_path, sizeof g_record.log_path, log_path);
  CopyTo(g_record.program, sizeof g_record.program, program_name);
  CopyTo(g_record.version, sizeof g_record.version, WideToUtf8(version));
}

void ReportCrashAndExit(const char* dump_path) {
  if (g_record.log_path[0]) {
    // The log folder may not exist yet when the crash comes early.
    char folder[PATH_MAX];
    memcpy(folder, g_record.log_path, sizeof folder);
    if (char* slash = strrchr(folder, '/')) {
      *slash = '\0';
      mkdir(folder, 0700);
    }
    int fd = open(g_record.log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
      LocalTime t = Now();
      SafeText line;
      line.Add("[FATAL][").Dec(static_cast<int64_t>(syscall(SYS_gettid)));
      // "[%-6d]" pads the id on the right.
      for (size_t i = SafeText().Dec(static_cast<int64_t>(syscall(SYS_gettid))).size(); i < 6; ++i)
        line.Add(" ");
      line.Add("][")
          .Dec(t.year)
          .Add(".")
          .Pad(t.month, 2)
          .Add(".")
          .Pad(t.day, 2)
          .Add("-")
          .Pad(t.hour, 2)
          .Add(":");
      line.Pad(t.minute, 2).Add(":").Pad(t.second, 2).Add("]");
      line.Add("[")
          .Add(g_record.program)
          .Add("]")
          .Add(g_record.version)
          .Add(" crash[")
          .Add(dump_path)
          .Add("]!\n");
      WriteText(fd, line);
      close(fd);
    }
  }
  if (g_record.uploader[0]) StartUploader(dump_path);
  // A failure code, as a death by the signal would give, so that whoever
  // waits for the program can tell a crash from a clean end.
  _exit(128 + (g_record.signal > 0 ? g_record.signal : SIGABRT));
}

std::string CrashUploaderPath() {
  std::string exe = platform::ExecutablePath();
  return exe.substr(0, exe.rfind('/')) + "/OBBugreporter.exe";
}

bool InstallProgramCrashHandler(const std::string& program_name, const std::string& log_path) {
  std::wstring version = GetEditionVersion();
  PrepareCrashReportUpload(CrashUploaderPath(), log_path, program_name, version);
  return InstallCrashHandler(version, ReportCrashAndExit);
}

}  // namespace brx::util

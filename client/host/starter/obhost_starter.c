/* The program file OBHost.exe. The client is a large program: the dynamic
 * loader maps and relocates some two hundred libraries for it before any of
 * its own code runs, a few tens of milliseconds on an idle machine and
 * seconds on a busy one, and a quit signal in that time would end it by the
 * default action. This starter is linked statically, so nothing runs before
 * its entry point; its first instructions block SIGINT and SIGTERM, and it
 * then becomes the client, the body "OBHost.exe.bin" beside it. The signal
 * mask and any signal that came meanwhile stay across the exec, so the
 * client's quit watcher finds them and the client shuts down in order. */

#define _GNU_SOURCE
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

/* The entry point: rt_sigprocmask(SIG_BLOCK, {SIGINT, SIGTERM}, NULL) as a
 * raw system call, then the C library's own start with every register it
 * reads (the stack and rdx) as the kernel left them. */
__asm__(
    "  .text\n"
    "  .globl obhost_starter_entry\n"
    "  .type obhost_starter_entry, @function\n"
    "obhost_starter_entry:\n"
    "  mov %rdx, %r12\n"
    "  mov $14, %eax\n"  /* rt_sigprocmask */
    "  xor %edi, %edi\n" /* SIG_BLOCK */
    "  lea obhost_quit_signals(%rip), %rsi\n"
    "  xor %edx, %edx\n"
    "  mov $8, %r10d\n"
    "  syscall\n"
    "  mov %r12, %rdx\n"
    "  jmp _start\n"
    "  .size obhost_starter_entry, . - obhost_starter_entry\n"
    "  .section .rodata\n"
    "  .p2align 3\n"
    "obhost_quit_signals:\n"
    "  .quad (1 << (2 - 1)) | (1 << (15 - 1))\n" /* SIGINT, SIGTERM */
    "  .text\n");

int main(int argc, char** argv) {
  static const char kBody[] = ".bin";
  char body[PATH_MAX];
  (void)argc;
  ssize_t n = readlink("/proc/self/exe", body, sizeof body - sizeof kBody);
  if (n <= 0 || (size_t)n >= sizeof body - sizeof kBody) {
    fprintf(stderr, "OBHost.exe: cannot find its own file: %s\n", strerror(errno));
    return 127;
  }
  memcpy(body + n, kBody, sizeof kBody);
  /* argv[0] stays as the caller gave it: the client answers to this name. */
  execv(body, argv);
  fprintf(stderr, "OBHost.exe: cannot start %s: %s\n", body, strerror(errno));
  return 127;
}

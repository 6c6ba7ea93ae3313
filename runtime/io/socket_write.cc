#include "runtime/io/socket_write.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>

#include "runtime/platform/tick_clock.h"

namespace brx::io {

int WriteAllToSocket(int fd, const uint8_t* data, size_t length, int cancel_fd, int stall_timeout_ms,
                     size_t* written) {
  size_t done = 0;
  uint32_t last_progress = platform::GetTickCount();
  int result = 0;
  while (done < length) {
    ssize_t n = send(fd, data + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      last_progress = platform::GetTickCount();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      result = errno;
      break;
    }
    uint32_t idle = platform::GetTickCount() - last_progress;
    if (idle >= static_cast<uint32_t>(stall_timeout_ms)) {
      result = ETIMEDOUT;
      break;
    }
    pollfd fds[2] = {{fd, POLLOUT, 0}, {cancel_fd, POLLIN, 0}};
    int count = cancel_fd >= 0 ? 2 : 1;
    int ready = poll(fds, count, stall_timeout_ms - static_cast<int>(idle));
    if (ready < 0 && errno != EINTR) {
      result = errno;
      break;
    }
    if (count == 2 && (fds[1].revents & POLLIN)) {
      result = ECANCELED;
      break;
    }
  }
  if (written) *written = done;
  return result;
}

}  // namespace brx::io

#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace ombrix::test {

// A socket of `type` (SOCK_DGRAM or SOCK_STREAM) bound to 127.0.0.1 at
// `port` (0: a free one), a stream one listening with `backlog`; its port
// goes to `*bound`. -1 when none can be had. The caller owns it.
inline int OpenLoopbackSocket(int type, uint16_t port, uint16_t* bound, int backlog = 4) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(a);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
      (type == SOCK_STREAM && listen(fd, backlog) != 0) ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    close(fd);
    return -1;
  }
  if (bound) *bound = ntohs(a.sin_port);
  return fd;
}

// A UDP socket on a free loopback port, as a finished NAT binding hands
// its socket over.
inline int BindLoopbackUdp(uint16_t* port) { return OpenLoopbackSocket(SOCK_DGRAM, 0, port); }

// A TCP socket listening on a free loopback port, as a relay stands in
// for a test.
inline int ListenLoopbackTcp(uint16_t* port) { return OpenLoopbackSocket(SOCK_STREAM, 0, port); }

}  // namespace ombrix::test

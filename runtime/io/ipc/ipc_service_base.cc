#include "runtime/io/ipc/ipc_service_base.h"

#include <sys/socket.h>

namespace brx::io::ipc {

IPCServiceBase::IPCServiceBase()
    : ReactorStreamService("brx.io.ipc.IPCServiceBase:read_service_",
                           "brx.io.ipc.IPCServiceBase:write_service_", kBufferSize,
                           kMaxFrameLength) {}

IPCServiceBase::~IPCServiceBase() { Stop(); }

void IPCServiceBase::SizeBuffers(int fd) {
  int size = static_cast<int>(kBufferSize);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);  // capped by the system; best effort
}

}  // namespace brx::io::ipc

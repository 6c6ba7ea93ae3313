#include "runtime/net/tcp_service_base.h"

namespace brx::net {

TCPServiceBase::TCPServiceBase()
    : ReactorStreamService("brx.net.TCPServiceBase:recv_service_",
                           "brx.net.TCPServiceBase:send_service_", kReceiveSize, kMaxFrameLength) {}

TCPServiceBase::~TCPServiceBase() { Stop(); }

}  // namespace brx::net

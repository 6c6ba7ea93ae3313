#include "runtime/net/net_address.h"

#include <arpa/inet.h>

namespace brx::net {

bool MakeIPv4Address(const std::string& ip, uint16_t port, sockaddr_in* address) {
  *address = sockaddr_in{};
  address->sin_family = AF_INET;
  address->sin_port = htons(port);
  if (ip.empty()) {
    address->sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  return inet_pton(AF_INET, ip.c_str(), &address->sin_addr) == 1;
}

}  // namespace brx::net

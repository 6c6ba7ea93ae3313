#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace brx::net {

// An IPv4 socket address from dotted text and a port (host order). False
// when the text is not a dotted IPv4 address; empty text means any address.
bool MakeIPv4Address(const std::string& ip, uint16_t port, sockaddr_in* address);

}  // namespace brx::net

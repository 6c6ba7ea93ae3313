#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ice {

// What one datagram received on a binding socket means to the binding task
// of invitation `task_id`. Only STUN commands naming that invitation
// count; everything else is kIgnored (kIgnoredWithWarning where the
// sender plainly meant a command and got it wrong).
struct BindingDatagram {
  enum Kind {
    kIgnored,
    kIgnoredWithWarning,
    kOffline,
    kTrying,
    kRinging,  // the peer's private and public address
    kBind,
    kConfirm,  // bind_ip/bind_port: this socket as the peer saw it
    // A RINGING or CONFIRM whose host lacks an address: the binding
    // cannot go on.
    kMalformedRinging,
    kMalformedConfirm,
  };
  Kind kind = kIgnored;
  std::wstring remote_private_ip;
  int32_t remote_private_port = 0;
  std::wstring remote_public_ip;
  int32_t remote_public_port = 0;
  std::wstring bind_ip;
  int32_t bind_port = 0;
};

// Reads at most kMaxDatagramBytes of `data`, up to a NUL. Pure: no I/O,
// no log.
BindingDatagram ParseBindingDatagram(const char* data, size_t length, const std::wstring& task_id);

}  // namespace ice

// What a binding task reads from arbitrary datagrams: nothing reads outside
// the buffer, an address is only reported whole, and what a task would send
// back stays within one datagram.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/video/binding/binding_datagram.h"
#include "client/video/signalling/ice_datagrams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The task's buffer is NUL-terminated; an exact-size copy plus the NUL
  // catches any read beyond it.
  std::vector<char> buffer(data, data + size);
  buffer.push_back('\0');
  const ice::BindingDatagram d = ice::ParseBindingDatagram(buffer.data(), size, L"inv-7");
  switch (d.kind) {
    case ice::BindingDatagram::kRinging:
      if (d.remote_private_ip.size() > ice::kMaxDatagramBytes ||
          d.remote_public_ip.size() > ice::kMaxDatagramBytes)
        abort();
      break;
    case ice::BindingDatagram::kConfirm:
      if (d.bind_ip.size() > ice::kMaxDatagramBytes) abort();
      break;
    default:
      if (!d.bind_ip.empty() || !d.remote_private_ip.empty()) abort();
  }
  if (ice::StunConfirmDatagram(L"inv-7", d.bind_ip, d.bind_port).empty()) abort();
  return 0;
}

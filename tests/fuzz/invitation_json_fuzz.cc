// The invitation payloads from arbitrary text (as the peer's data arrives):
// parsing never crashes and either fails with a reason or yields fields
// that survive being written again and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/video/interact/invitation_json.h"
#include "runtime/util/text_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text =
      brx::util::Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));
  ombrix::video::InvitationFields fields;
  std::string error;
  if (!ombrix::video::ParseInvitationJson(text, &fields, &error)) {
    if (error.empty()) abort();
    return 0;
  }
  ombrix::video::InvitationFields again;
  if (!ombrix::video::ParseInvitationJson(ombrix::video::InvitationJson(fields.sender), &again,
                                          &error))
    abort();
  if (again.sender != fields.sender) abort();
  return 0;
}

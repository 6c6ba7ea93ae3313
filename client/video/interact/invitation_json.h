#pragma once

#include <string>

// The payloads of the invitation and of its acceptance: small JSON objects
// {"type": "video", "video_type": "webm"[, "sender": account]}, UTF-8 on
// the wire, wide in the program.
namespace ombrix::video {

std::wstring InvitationJson(const std::wstring& sender);
std::wstring AcceptJson();

struct InvitationFields {
  std::wstring video_type = L"webm";
  std::wstring sender;  // empty when absent
};

// False, with the reader's messages in `*error`, when `text` is not a JSON
// object. Missing or non-text members keep their defaults.
bool ParseInvitationJson(const std::wstring& text, InvitationFields* fields, std::string* error);

}  // namespace ombrix::video

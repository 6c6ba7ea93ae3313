#pragma once

#include <string>

// The editor page's requests and the one call the client makes into it.
// Both are the invoke XML of an embedded player's external interface:
//   page -> client  <invoke name="NAME" returntype="xml"><arguments>...</arguments></invoke>
//   client -> page  <invoke
//   name="CB_RoleAvatarGetId"><arguments><string>KEY</string></arguments></invoke>
// The page is our own, but its requests are still read as untrusted text:
// anything that does not parse, nests too deep or lacks the invoke head is
// ignored.
struct AvatarRequest {
  enum class Kind {
    kIgnored,  // malformed, unknown, or an upload without an address
    kReady,    // CB_RoleAvatarReady: the page wants the user's key
    kUpload,   // CB_RoleAvatarUpload: the picture is on the server
    kClose,    // CB_RoleAvatarClose: the user closed the page
  };
  Kind kind = Kind::kIgnored;
  std::string name;             // the invoke name, when the head was read
  std::wstring head_image_url;  // kUpload: what UpdateUserHeadImage gets
};

AvatarRequest ParseAvatarRequest(const std::wstring& xml);

// An upload's argument is a comma-separated list; the head-image address
// is everything after its third comma (further commas belong to it: the
// server's head-image text is itself a list of addresses). Empty when
// there are fewer than three commas or nothing follows the third.
std::wstring HeadImageUrlOfUploadArgument(const std::wstring& argument);

// The call that hands the page the user's key, the key escaped for XML.
std::wstring AvatarKeyCall(const std::wstring& key);

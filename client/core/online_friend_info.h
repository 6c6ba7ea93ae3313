#pragma once

#include <string>

// One friend online, as the rendezvous server lists it. Shared by the
// signalling client, which reads the list, and by the game link, which
// passes it on to the games.
struct OnlineFriendInfo {
  std::wstring user_account;
  std::wstring user_name;
  std::wstring head_icon;  // a URL, later a local file path; may be empty
};

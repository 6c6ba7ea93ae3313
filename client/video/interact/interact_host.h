#pragma once

#include <string>

// The signed-in user as the video chat sees it. Nobody is signed in while
// the session id is empty.
struct InteractUser {
  std::wstring account;
  std::wstring session_id;
  // The first non-empty of the role name, the game nick name, the nick
  // name and the account.
  std::wstring display_name;
};

// A finished head-image download, posted to the GUI thread as message 2226
// with the record in lParam; the GUI thread owns and deletes it.
struct HeadIconDownloadResult {
  bool ok = false;
  std::wstring url;
  std::wstring path;  // the local file
};

// What the video chat needs from the rest of the client. Main thread only,
// except that a download may finish on any thread (it then posts 2226).
class InteractHost {
 public:
  virtual ~InteractHost() = default;
  virtual InteractUser CurrentUser() const = 0;
  // The server configuration's address for "IceServer"; empty when none.
  virtual std::wstring IceServerAddress() const = 0;
  // Where head images are kept ("Users/All Users/cache" below the program
  // folder); created by the caller when missing.
  virtual std::string HeadIconCacheFolder() const = 0;
  // Fetches `url` to `path` on the download worker and posts the result.
  virtual void StartHeadIconDownload(const std::wstring& url, const std::wstring& path) = 0;
};

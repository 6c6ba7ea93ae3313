#pragma once

#include <functional>
#include <string>

#include "client/core/event_chain.h"

// What the client's own controls need from the client around them. The
// window that builds a skin fills one and lends it to its builder callback;
// every control made by that callback borrows it, so it must outlive the
// window's control tree.
struct ControlContext {
  // "OBSkin/<game id>": the current game's skin folder, relative to the
  // program folder.
  std::wstring skin_folder;
  // The chain that carries the download replies (event 21); may be null,
  // then lists never learn of finished head images.
  EventChain* events = nullptr;
  // The signed-in user's folder (or the shared one); head images are
  // cached below it.
  std::function<std::wstring()> user_folder;
  // Starts a download of `url` into `file`; its reply comes as event 21.
  std::function<void(const std::wstring& url, const std::wstring& file)> download;
};

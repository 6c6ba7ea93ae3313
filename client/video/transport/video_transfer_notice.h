#pragma once

#include <cstdint>
#include <string>

// What a video link tells the main thread, posted as thread message 2225
// with the record in wParam; the main thread owns and deletes it.
struct VideoTransferNotice {
  enum Code : int32_t {
    kConnected = 0,  // flag 1: connected (or accepted), 0: could not connect
    kClosed = 1,
    kDataWaiting = 2,
    // Not from a link: the video chat's reminder to itself to free what it
    // retired while it could not (id and flag unused).
    kRetired = 3,
  };
  int32_t code = kConnected;
  std::wstring id;
  int32_t flag = 0;
};

#pragma once

#include <cstdint>
#include <memory>

// One frame on its way through a codec worker: raw pixels or one VP8
// frame, with the parameters it was made with.
struct CodecFrame {
  uint8_t flag = 0;  // 1: starts a new stream (the receiver re-opens)
  uint16_t fps = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint32_t counter = 0;
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t size = 0;
  // Bytes allocated behind `bytes` (at least `size`), so that a worker can
  // fill the buffer again with a later frame.
  uint32_t capacity = 0;
};

#pragma once

#include <memory>

#include "client/video/codec/video_en_decoder.h"

struct WebMCodecState;

// The VP8 codec worker (libvpx). The encoder runs in real-time mode at
// 256 kbit/s per 320x240 of picture; the decoder skips every frame from
// its opening, and from a frame it could not decode, until the next key
// frame, and any picture that does not have the frame's declared size.
class VideoEnDecoder_WebM : public VideoEnDecoder {
 public:
  VideoEnDecoder_WebM(VEDWatcher* watcher, std::wstring id, bool encode);
  ~VideoEnDecoder_WebM() override;

  // 256 * w * h / (320 * 240) kbit/s, in unsigned arithmetic.
  static unsigned TargetBitrate(unsigned width, unsigned height);

 protected:
  bool Open(uint16_t fps, uint16_t width, uint16_t height) override;
  void Close() override;
  bool Encode(const uint8_t* input, uint32_t input_size, bool key_frame, uint8_t* output,
              uint32_t* output_size, uint32_t capacity) override;
  bool Decode(const uint8_t* input, uint32_t input_size, uint8_t* output, uint32_t* output_size,
              uint32_t capacity) override;
  bool IsKeyFrame(const uint8_t* input, uint32_t input_size) const override;

 private:
  std::unique_ptr<WebMCodecState> state_;  // worker thread only
};

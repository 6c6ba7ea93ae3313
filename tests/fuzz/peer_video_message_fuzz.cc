// Decoding of the messages a peer sends on a video link, from arbitrary
// bytes: nothing reads outside the packet, a payload is either whole inside
// the packet or dropped, a control text keeps within 127 bytes, and what
// was read writes back to a message that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "client/video/transport/peer_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size heap copy, so reading one byte too far is caught.
  std::vector<uint8_t> packet(data, data + size);
  const uint8_t* begin = packet.data();
  const uint32_t length = static_cast<uint32_t>(packet.size());

  NetMessageHeader header(begin, length);
  if (size < NetMessage_Interact::kHeaderSize &&
      (header.message_id() != NetMessage_Interact::kInvalidId ||
       header.flag() != NetMessage_Interact::kInvalidId)) {
    abort();
  }

  MessageVideoData video(begin, length);
  if (video.HasPayload()) {
    if (header.message_id() != MessageVideoData::kId) abort();
    if (video.payload < begin || video.payload + video.payload_length > begin + length) abort();
    MessageVideoData again(video.reinit, video.fps, video.width, video.height, video.counter,
                           video.payload, video.payload_length);
    MessageVideoData reread(again.data(), again.size());
    if (!reread.HasPayload() || reread.payload_length != video.payload_length ||
        reread.width != video.width || reread.height != video.height || reread.fps != video.fps ||
        reread.counter != video.counter) {
      abort();
    }
  }

  MessageVideoControl control(begin, length);
  if (control.text.size() > MessageVideoControl::kMaxText) abort();
  if (header.message_id() != MessageVideoControl::kId &&
      (control.code != 0 || !control.text.empty()))
    abort();
  MessageVideoControl echo(control.code, control.text);
  MessageVideoControl reread(echo.data(), echo.size());
  if (reread.code != control.code || reread.text != control.text) abort();
  return 0;
}

// Decoding of every message a game sends, from arbitrary bytes: nothing
// reads outside the packet, every text keeps within its field's capacity
// (in UTF-16 units), and a video frame is either exactly width x height x 3
// bytes inside the packet or dropped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/core/gamelink/c2s_messages.h"
#include "runtime/util/text_convert.h"

namespace {

void CheckText(const std::wstring& text, size_t capacity) {
  if (brx::util::WideToUtf16(text).size() > capacity - 1) abort();
}

template <typename M>
const M Decode(const std::vector<uint8_t>& p) {
  return M(p.data(), static_cast<uint32_t>(p.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size heap copy, so reading one byte too far is caught.
  std::vector<uint8_t> packet(data, data + size);
  IPCMessage header(packet.data(), static_cast<uint32_t>(packet.size()));
  if (size < 4 && (header.message_id() != 0xFFFF || header.flag() != 0xFFFF)) abort();

  CheckText(Decode<COBMSG_C2S_ATTACH>(packet).game_id, 128);
  Decode<COBMSG_C2S_DETACH>(packet);
  Decode<COBMSG_C2S_SYSTEMCONFIG>(packet);
  Decode<COBMSG_C2S_GAMECONFIG>(packet);
  {
    auto m = Decode<COBMSG_C2S_LOGIN>(packet);
    CheckText(m.account, 128);
    CheckText(m.password, 128);
    CheckText(m.unused, 128);
  }
  Decode<COBMSG_C2S_REQUESTLOGIN>(packet);
  {
    auto m = Decode<COBMSG_C2S_QTLLOGIN>(packet);
    CheckText(m.ticket, 1024);
    CheckText(m.unused, 128);
  }
  Decode<COBMSG_C2S_SETNICKNAME>(packet);
  Decode<COBMSG_C2S_LOGOUT>(packet);
  {
    auto m = Decode<COBMSG_C2S_POSTBLOG>(packet);
    CheckText(m.text, 1024);
    CheckText(m.image_path, 260);
  }
  CheckText(Decode<COBMSG_C2S_NEWIMAGE>(packet).image_path, 260);
  Decode<COBMSG_C2S_OPENURL>(packet);
  Decode<COBMSG_C2S_FRIEND_ONLINE>(packet);
  {
    auto m = Decode<COBMSG_C2S_VIDEO_INVITE>(packet);
    CheckText(m.invitation_id, 128);
    CheckText(m.invited_account, 128);
  }
  CheckText(Decode<COBMSG_C2S_VIDEO_REPLY>(packet).invitation_id, 128);
  CheckText(Decode<COBMSG_C2S_VIDEO_STOP>(packet).invitation_id, 128);
  {
    auto m = Decode<COBMSG_C2S_VEDIO_STREAM>(packet);
    CheckText(m.invitation_id, 128);
    if (m.HasFrame()) {
      if (m.frame < packet.data() || m.frame + m.frame_size > packet.data() + packet.size())
        abort();
      if (uint64_t{m.width} * m.height * 3 != m.frame_size || m.frame_size == 0) abort();
      volatile uint8_t sum = 0;
      for (uint32_t i = 0; i < m.frame_size; ++i) sum = sum + m.frame[i];  // every byte readable
    }
  }
  // The text reader on its own, at every capacity the messages use.
  for (uint32_t capacity : {16u, 128u, 256u, 260u, 1024u, 4096u}) {
    IPCMessage reader(packet.data(), static_cast<uint32_t>(packet.size()));
    std::wstring text;
    while (reader.ReadString(capacity, &text)) CheckText(text, capacity);
    if (reader.cursor() > packet.size()) abort();
  }
  return 0;
}

#include "client/core/gamelink/c2s_messages.h"

COBMSG_C2S_ATTACH::COBMSG_C2S_ATTACH(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadString(128, &game_id);
}

COBMSG_C2S_SYSTEMCONFIG::COBMSG_C2S_SYSTEMCONFIG(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadI32(&kind);
  ReadI32(&value);
}

COBMSG_C2S_GAMECONFIG::COBMSG_C2S_GAMECONFIG(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadI32(&kind);
  ReadU8(&value);
}

COBMSG_C2S_LOGIN::COBMSG_C2S_LOGIN(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadString(128, &account);
  ReadString(128, &password);
  ReadString(128, &unused);
  ReadU8(&remember_password);
  ReadU8(&auto_login);
}

COBMSG_C2S_QTLLOGIN::COBMSG_C2S_QTLLOGIN(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadString(1024, &ticket);
  ReadString(128, &unused);
}

COBMSG_C2S_POSTBLOG::COBMSG_C2S_POSTBLOG(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadString(1024, &text);
  ReadString(260, &image_path);
}

COBMSG_C2S_NEWIMAGE::COBMSG_C2S_NEWIMAGE(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadU32(&unused1);
  ReadU32(&unused2);
  ReadI32(&kind);
  ReadString(260, &image_path);
}

COBMSG_C2S_OPENURL::COBMSG_C2S_OPENURL(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadI32(&which);
}

COBMSG_C2S_FRIEND_ONLINE::COBMSG_C2S_FRIEND_ONLINE(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadI32(&page_size);
  ReadI32(&page);
}

COBMSG_C2S_VIDEO_INVITE::COBMSG_C2S_VIDEO_INVITE(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadU8(&send_own_video);
  ReadString(128, &invitation_id);
  ReadString(128, &invited_account);
}

COBMSG_C2S_VIDEO_REPLY::COBMSG_C2S_VIDEO_REPLY(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadI32(&answer);
  ReadString(128, &invitation_id);
}

COBMSG_C2S_VIDEO_STOP::COBMSG_C2S_VIDEO_STOP(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadString(128, &invitation_id);
}

COBMSG_C2S_VEDIO_STREAM::COBMSG_C2S_VEDIO_STREAM(const uint8_t* packet, uint32_t length)
    : IPCMessage(packet, length) {
  ReadString(128, &invitation_id);
  ReadU16(&frame_rate);
  ReadU16(&width);
  ReadU16(&height);
  const uint8_t* bytes = nullptr;
  uint32_t count = 0;
  if (!ReadByteFieldInPlace(&bytes, &count)) return;
  if (count == 0 || uint64_t{width} * height * 3 != count) return;
  frame = bytes;
  frame_size = count;
}

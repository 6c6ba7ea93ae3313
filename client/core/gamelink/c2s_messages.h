#pragma once

#include <cstdint>
#include <string>

#include "client/core/ipc/ipc_message.h"

// Messages from the in-game hook library to the main client. Each is read
// by its constructor from a received packet (see IPCMessage for the rules);
// a field whose bytes are missing keeps its initial value, 0 or empty.
// Capacities in the comments are the str(N) capacities of the wire.

// Id 24 carries no fields and has no class; the image block only counts it.
inline constexpr uint16_t kMsgC2SShotCounter = 24;

class COBMSG_C2S_ATTACH : public IPCMessage {
 public:
  static constexpr uint16_t kId = 0;
  COBMSG_C2S_ATTACH(const uint8_t* packet, uint32_t length);
  std::wstring game_id;  // 128
};

class COBMSG_C2S_DETACH : public IPCMessage {
 public:
  static constexpr uint16_t kId = 2;
  COBMSG_C2S_DETACH(const uint8_t* packet, uint32_t length) : IPCMessage(packet, length) {}
};

class COBMSG_C2S_SYSTEMCONFIG : public IPCMessage {
 public:
  static constexpr uint16_t kId = 3;
  enum Kind : int32_t { kShowHelp = 0, kOverlayX = 1, kOverlayY = 2 };
  COBMSG_C2S_SYSTEMCONFIG(const uint8_t* packet, uint32_t length);
  int32_t kind = 0;
  int32_t value = 0;
};

class COBMSG_C2S_GAMECONFIG : public IPCMessage {
 public:
  static constexpr uint16_t kId = 6;
  enum Kind : int32_t { kTimedShot = 0 };
  COBMSG_C2S_GAMECONFIG(const uint8_t* packet, uint32_t length);
  int32_t kind = 0;
  uint8_t value = 0;
};

class COBMSG_C2S_LOGIN : public IPCMessage {
 public:
  static constexpr uint16_t kId = 8;
  COBMSG_C2S_LOGIN(const uint8_t* packet, uint32_t length);
  std::wstring account;   // 128
  std::wstring password;  // 128
  std::wstring unused;    // 128
  uint8_t remember_password = 0;
  uint8_t auto_login = 0;
};

class COBMSG_C2S_REQUESTLOGIN : public IPCMessage {
 public:
  static constexpr uint16_t kId = 10;
  COBMSG_C2S_REQUESTLOGIN(const uint8_t* packet, uint32_t length) : IPCMessage(packet, length) {}
};

class COBMSG_C2S_QTLLOGIN : public IPCMessage {
 public:
  static constexpr uint16_t kId = 11;
  COBMSG_C2S_QTLLOGIN(const uint8_t* packet, uint32_t length);
  std::wstring ticket;  // 1024
  std::wstring unused;  // 128
};

class COBMSG_C2S_SETNICKNAME : public IPCMessage {
 public:
  static constexpr uint16_t kId = 13;
  COBMSG_C2S_SETNICKNAME(const uint8_t* packet, uint32_t length) : IPCMessage(packet, length) {}
};

class COBMSG_C2S_LOGOUT : public IPCMessage {
 public:
  static constexpr uint16_t kId = 14;
  COBMSG_C2S_LOGOUT(const uint8_t* packet, uint32_t length) : IPCMessage(packet, length) {}
};

class COBMSG_C2S_POSTBLOG : public IPCMessage {
 public:
  static constexpr uint16_t kId = 16;
  COBMSG_C2S_POSTBLOG(const uint8_t* packet, uint32_t length);
  std::wstring text;        // 1024
  std::wstring image_path;  // 260
};

class COBMSG_C2S_NEWIMAGE : public IPCMessage {
 public:
  static constexpr uint16_t kId = 18;
  COBMSG_C2S_NEWIMAGE(const uint8_t* packet, uint32_t length);
  uint32_t unused1 = 0;
  uint32_t unused2 = 0;
  int32_t kind = 0;         // 0, 1 or 2
  std::wstring image_path;  // 260
};

class COBMSG_C2S_OPENURL : public IPCMessage {
 public:
  static constexpr uint16_t kId = 22;
  enum Page : int32_t { kHomePage = 0, kPasswordRecovery = 1, kRegistrationAgreement = 2 };
  COBMSG_C2S_OPENURL(const uint8_t* packet, uint32_t length);
  int32_t which = 0;
};

class COBMSG_C2S_FRIEND_ONLINE : public IPCMessage {
 public:
  static constexpr uint16_t kId = 27;
  COBMSG_C2S_FRIEND_ONLINE(const uint8_t* packet, uint32_t length);
  int32_t page_size = 0;
  int32_t page = 0;
};

class COBMSG_C2S_VIDEO_INVITE : public IPCMessage {
 public:
  static constexpr uint16_t kId = 30;
  COBMSG_C2S_VIDEO_INVITE(const uint8_t* packet, uint32_t length);
  uint8_t send_own_video = 0;
  std::wstring invitation_id;    // 128
  std::wstring invited_account;  // 128
};

class COBMSG_C2S_VIDEO_REPLY : public IPCMessage {
 public:
  static constexpr uint16_t kId = 32;
  COBMSG_C2S_VIDEO_REPLY(const uint8_t* packet, uint32_t length);
  int32_t answer = 0;          // 0 accept, anything else refuse
  std::wstring invitation_id;  // 128
};

class COBMSG_C2S_VIDEO_STOP : public IPCMessage {
 public:
  static constexpr uint16_t kId = 34;
  COBMSG_C2S_VIDEO_STOP(const uint8_t* packet, uint32_t length);
  std::wstring invitation_id;  // 128
};

// One raw frame from the game's capture: 24-bit pixels, rows bottom-up.
// The frame bytes are not copied: `frame` points into the packet, which
// must outlive the message. A frame whose byte count is not exactly
// width x height x 3 is dropped (`frame` null, `frame_size` 0), so nothing
// downstream reads past a short buffer.
class COBMSG_C2S_VEDIO_STREAM : public IPCMessage {
 public:
  static constexpr uint16_t kId = 38;
  COBMSG_C2S_VEDIO_STREAM(const uint8_t* packet, uint32_t length);
  bool HasFrame() const { return frame != nullptr; }
  std::wstring invitation_id;  // 128
  uint16_t frame_rate = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  const uint8_t* frame = nullptr;
  uint32_t frame_size = 0;
};

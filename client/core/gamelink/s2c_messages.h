#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/core/ipc/ipc_message.h"
#include "client/core/web_user.h"

// Messages from the main client to the in-game hook library. Each is built
// by its constructor from the field values. Capacities in the comments are
// the str(N) capacities of the wire; longer texts are cut.

class COBMSG_S2C_WELCOME : public IPCMessage {
 public:
  static constexpr uint16_t kId = 1;
  COBMSG_S2C_WELCOME() : IPCMessage(kId) {}
};

// The system settings a game shows and uses.
struct SystemConfigValues {
  bool one_shot_sound = true;
  bool many_shot_sound = true;
  bool show_help = true;
  bool first_run = true;
  int32_t overlay_x = 0;
  int32_t overlay_y = 0;
  std::wstring user_folder_part;  // 256: "Users/<account>" or "Users/All Users"
  std::wstring store_folder;      // 260: the screenshot store
};

class COBMSG_S2C_SYSTEMCONFIG : public IPCMessage {
 public:
  static constexpr uint16_t kId = 4;
  explicit COBMSG_S2C_SYSTEMCONFIG(const SystemConfigValues& values);
};

// One game's settings.
struct GameConfigValues {
  int32_t many_shot_duration = 0;
  float many_shot_interval = 0;
  int32_t quality = 0;
  bool timed_shot_enabled = false;
  int32_t timed_shot_interval = 0;
  // Key names, str(16) each.
  std::wstring one_shot_key;
  std::wstring many_shot_key;
  std::wstring show_hide_key;
  std::wstring region_one_shot_key;
  std::wstring region_many_shot_key;
  std::wstring quick_publish_key;
};

class COBMSG_S2C_GAMECONFIG : public IPCMessage {
 public:
  static constexpr uint16_t kId = 5;
  explicit COBMSG_S2C_GAMECONFIG(const GameConfigValues& values);
};

class COBMSG_S2C_CONFIGOK : public IPCMessage {
 public:
  static constexpr uint16_t kId = 7;
  COBMSG_S2C_CONFIGOK() : IPCMessage(kId) {}
};

class COBMSG_S2C_LOGIN : public IPCMessage {
 public:
  static constexpr uint16_t kId = 9;
  enum Kind : uint8_t { kAccount = 0, kTicket = 1 };
  // `text`: the account, or the failure text (1024).
  COBMSG_S2C_LOGIN(uint8_t login_kind, bool signed_in, const std::wstring& text);
};

class COBMSG_S2C_USERINFO : public IPCMessage {
 public:
  static constexpr uint16_t kId = 12;
  explicit COBMSG_S2C_USERINFO(bool has_nick_name);
};

class COBMSG_S2C_LOGOUT : public IPCMessage {
 public:
  static constexpr uint16_t kId = 15;
  COBMSG_S2C_LOGOUT() : IPCMessage(kId) {}
};

class COBMSG_S2C_POSTBLOG : public IPCMessage {
 public:
  static constexpr uint16_t kId = 17;
  // `image_path`: the picture that failed to post, or empty (260).
  COBMSG_S2C_POSTBLOG(bool posted, const std::wstring& image_path);
};

class COBMSG_S2C_SERVERTIME : public IPCMessage {
 public:
  static constexpr uint16_t kId = 23;
  explicit COBMSG_S2C_SERVERTIME(const std::wstring& date_time);  // 128
};

class COBMSG_S2C_IMAGESYN : public IPCMessage {
 public:
  static constexpr uint16_t kId = 25;
  COBMSG_S2C_IMAGESYN(int32_t kind0_count, int32_t kind1_count, int32_t kind2_count);
};

// The signed-in user's four new-item counters, in the user object's order:
// new mirror-blog, new about-user blog, new message, new fans.
class COBMSG_S2C_USERINFO_GetDataPrompt : public IPCMessage {
 public:
  static constexpr uint16_t kId = 26;
  COBMSG_S2C_USERINFO_GetDataPrompt(int32_t first, int32_t second, int32_t third, int32_t fourth);
  // The user's four new-item counts in the order the games read them.
  explicit COBMSG_S2C_USERINFO_GetDataPrompt(const IWebUser& user)
      : COBMSG_S2C_USERINFO_GetDataPrompt(user.new_mirror_blog_count(), user.new_about_user_count(),
                                          user.new_message_count(), user.new_fans_count()) {}
};

// One online friend as the games list them.
struct FriendOnlineEntry {
  std::wstring account;    // 128
  std::wstring name;       // 128
  std::wstring head_icon;  // 4096: local head-image file, empty while not downloaded
};

class COBMSG_S2C_FRIEND_ONLINE : public IPCMessage {
 public:
  static constexpr uint16_t kId = 28;
  COBMSG_S2C_FRIEND_ONLINE(int32_t total, int32_t page,
                           const std::vector<FriendOnlineEntry>& entries);
};

class COBMSG_S2C_FRIEND_ONLINE_HEADICON : public IPCMessage {
 public:
  static constexpr uint16_t kId = 29;
  COBMSG_S2C_FRIEND_ONLINE_HEADICON(const std::wstring& address,
                                    const std::wstring& local_path);  // 128, 260
};

class COBMSG_S2C_VIDEO_INVITE : public IPCMessage {
 public:
  static constexpr uint16_t kId = 31;
  COBMSG_S2C_VIDEO_INVITE(bool send_own_video, const std::wstring& invitation_id,
                          const std::wstring& invited_account,
                          const std::wstring& inviter_name);  // 128 each
};

class COBMSG_S2C_VIDEO_REPLY : public IPCMessage {
 public:
  static constexpr uint16_t kId = 33;
  COBMSG_S2C_VIDEO_REPLY(bool accepted, const std::wstring& invitation_id);
};

class COBMSG_S2C_VIDEO_STOP : public IPCMessage {
 public:
  static constexpr uint16_t kId = 35;
  explicit COBMSG_S2C_VIDEO_STOP(const std::wstring& invitation_id);
};

class COBMSG_S2C_VIDEO_READY : public IPCMessage {
 public:
  static constexpr uint16_t kId = 37;
  explicit COBMSG_S2C_VIDEO_READY(const std::wstring& invitation_id);
};

// A decoded frame for the game to show: `frame` holds width x height x 3
// bytes (24-bit pixels, rows bottom-up), appended in one piece. A frame of
// any other byte count is refused (logged, never sent), because the game
// reads exactly width x height x 3 bytes.
class COBMSG_S2C_VEDIO_STREAM : public IPCMessage {
 public:
  static constexpr uint16_t kId = 39;
  COBMSG_S2C_VEDIO_STREAM(bool reinitialised, uint16_t frame_rate, uint16_t width, uint16_t height,
                          const uint8_t* frame, uint32_t frame_size,
                          const std::wstring& invitation_id);
};

// Reserved: nothing sends it.
class COBMSG_S2C_VIDEO_IM : public IPCMessage {
 public:
  static constexpr uint16_t kId = 41;
  COBMSG_S2C_VIDEO_IM(const std::wstring& first, const std::wstring& second,
                      const std::wstring& text);
};

class COBMSG_S2C_VIDEO_INVITE_REPLYED : public IPCMessage {
 public:
  static constexpr uint16_t kId = 42;
  explicit COBMSG_S2C_VIDEO_INVITE_REPLYED(const std::wstring& invitation_id);
};

class COBMSG_S2C_VEDIO_ERROR : public IPCMessage {
 public:
  static constexpr uint16_t kId = 43;
  COBMSG_S2C_VEDIO_ERROR(int32_t code, const std::wstring& invitation_id);
};

#include "client/core/gamelink/s2c_messages.h"

#include "runtime/logmaker/log.h"

COBMSG_S2C_SYSTEMCONFIG::COBMSG_S2C_SYSTEMCONFIG(const SystemConfigValues& v) : IPCMessage(kId) {
  WriteU8(v.one_shot_sound);
  WriteU8(v.many_shot_sound);
  WriteU8(v.show_help);
  WriteU8(v.first_run);
  WriteI32(v.overlay_x);
  WriteI32(v.overlay_y);
  WriteString(256, v.user_folder_part);
  WriteString(260, v.store_folder);
}

COBMSG_S2C_GAMECONFIG::COBMSG_S2C_GAMECONFIG(const GameConfigValues& v) : IPCMessage(kId) {
  WriteI32(v.many_shot_duration);
  WriteF32(v.many_shot_interval);
  WriteI32(v.quality);
  WriteU8(v.timed_shot_enabled);
  WriteI32(v.timed_shot_interval);
  for (const std::wstring* key :
       {&v.one_shot_key, &v.many_shot_key, &v.show_hide_key, &v.region_one_shot_key,
        &v.region_many_shot_key, &v.quick_publish_key})
    WriteString(16, *key);
}

COBMSG_S2C_LOGIN::COBMSG_S2C_LOGIN(uint8_t login_kind, bool signed_in, const std::wstring& text)
    : IPCMessage(kId) {
  WriteU8(login_kind);
  WriteU8(signed_in);
  WriteString(1024, text);
}

COBMSG_S2C_USERINFO::COBMSG_S2C_USERINFO(bool has_nick_name) : IPCMessage(kId) {
  WriteU8(has_nick_name);
}

COBMSG_S2C_POSTBLOG::COBMSG_S2C_POSTBLOG(bool posted, const std::wstring& image_path)
    : IPCMessage(kId) {
  WriteU8(posted);
  WriteString(260, image_path);
}

COBMSG_S2C_SERVERTIME::COBMSG_S2C_SERVERTIME(const std::wstring& date_time) : IPCMessage(kId) {
  WriteString(128, date_time);
}

COBMSG_S2C_IMAGESYN::COBMSG_S2C_IMAGESYN(int32_t kind0_count, int32_t kind1_count,
                                         int32_t kind2_count)
    : IPCMessage(kId) {
  WriteI32(kind0_count);
  WriteI32(kind1_count);
  WriteI32(kind2_count);
}

COBMSG_S2C_USERINFO_GetDataPrompt::COBMSG_S2C_USERINFO_GetDataPrompt(int32_t first, int32_t second,
                                                                     int32_t third, int32_t fourth)
    : IPCMessage(kId) {
  WriteI32(first);
  WriteI32(second);
  WriteI32(third);
  WriteI32(fourth);
}

COBMSG_S2C_FRIEND_ONLINE::COBMSG_S2C_FRIEND_ONLINE(int32_t total, int32_t page,
                                                   const std::vector<FriendOnlineEntry>& entries)
    : IPCMessage(kId) {
  WriteI32(total);
  WriteI32(page);
  WriteI32(static_cast<int32_t>(entries.size()));
  for (const FriendOnlineEntry& e : entries) {
    WriteString(128, e.account);
    WriteString(128, e.name);
    WriteString(4096, e.head_icon);
  }
}

COBMSG_S2C_FRIEND_ONLINE_HEADICON::COBMSG_S2C_FRIEND_ONLINE_HEADICON(const std::wstring& address,
                                                                     const std::wstring& local_path)
    : IPCMessage(kId) {
  WriteString(128, address);
  WriteString(260, local_path);
}

COBMSG_S2C_VIDEO_INVITE::COBMSG_S2C_VIDEO_INVITE(bool send_own_video,
                                                 const std::wstring& invitation_id,
                                                 const std::wstring& invited_account,
                                                 const std::wstring& inviter_name)
    : IPCMessage(kId) {
  WriteU8(send_own_video);
  WriteString(128, invitation_id);
  WriteString(128, invited_account);
  WriteString(128, inviter_name);
}

COBMSG_S2C_VIDEO_REPLY::COBMSG_S2C_VIDEO_REPLY(bool accepted, const std::wstring& invitation_id)
    : IPCMessage(kId) {
  WriteU8(accepted);
  WriteString(128, invitation_id);
}

COBMSG_S2C_VIDEO_STOP::COBMSG_S2C_VIDEO_STOP(const std::wstring& invitation_id) : IPCMessage(kId) {
  WriteString(128, invitation_id);
}

COBMSG_S2C_VIDEO_READY::COBMSG_S2C_VIDEO_READY(const std::wstring& invitation_id)
    : IPCMessage(kId) {
  WriteString(128, invitation_id);
}

COBMSG_S2C_VEDIO_STREAM::COBMSG_S2C_VEDIO_STREAM(bool reinitialised, uint16_t frame_rate,
                                                 uint16_t width, uint16_t height,
                                                 const uint8_t* frame, uint32_t frame_size,
                                                 const std::wstring& invitation_id)
    : IPCMessage(kId) {
  if (uint64_t{width} * height * 3 != frame_size || (frame_size && !frame)) {
    // The game would read width x height x 3 bytes, whatever came.
    LogWarn(L"%ls:%d:frame of %u bytes for %ux%u refused\n", L"COBMSG_S2C_VEDIO_STREAM", __LINE__,
            frame_size, unsigned{width}, unsigned{height});
    Refuse();
    return;
  }
  WriteU8(reinitialised);
  WriteU16(frame_rate);
  WriteU16(width);
  WriteU16(height);
  WriteByteField(frame, frame_size);
  WriteString(128, invitation_id);
}

COBMSG_S2C_VIDEO_IM::COBMSG_S2C_VIDEO_IM(const std::wstring& first, const std::wstring& second,
                                         const std::wstring& text)
    : IPCMessage(kId) {
  WriteString(128, first);
  WriteString(128, second);
  WriteString(1024, text);
}

COBMSG_S2C_VIDEO_INVITE_REPLYED::COBMSG_S2C_VIDEO_INVITE_REPLYED(const std::wstring& invitation_id)
    : IPCMessage(kId) {
  WriteString(128, invitation_id);
}

COBMSG_S2C_VEDIO_ERROR::COBMSG_S2C_VEDIO_ERROR(int32_t code, const std::wstring& invitation_id)
    : IPCMessage(kId) {
  WriteI32(code);
  WriteString(128, invitation_id);
}

#include "client/video/interact/ob_logic_interact.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include "client/core/message_ids.h"
#include "client/core/video_events.h"
#include "client/video/interact/invitation_json.h"
#include "client/video/signalling/ice_client.h"
#include "client/video/transport/peer_messages.h"
#include "client/video/transport/video_transfer_notice.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"

namespace {

using ombrix::messages::kHeadImageDownloaded;
using ombrix::messages::kSignallingEvent;
using ombrix::messages::kVideoTransportNotice;

// A fresh name for a head image: 128 random bits as hex.
std::string NewFileName() {
  std::random_device device;
  char name[33];
  for (int i = 0; i < 4; ++i)
    std::snprintf(name + 8 * i, 9, "%08x", static_cast<unsigned>(device()));
  return name;
}

}  // namespace

OBLogicInteract::OBLogicInteract(EventChain* chain, InteractHost* host,
                                 std::unique_ptr<ice::IceSignalling> signalling,
                                 const brx::platform::TickClock& clock)
    : chain_(chain), host_(host), clock_(clock), signalling_(std::move(signalling)) {
  if (!signalling_) signalling_ = std::make_unique<ice::IceClient>(this);
}

OBLogicInteract::~OBLogicInteract() {
  Stop();
  retired_codecs_.clear();
  // The signalling client goes first: its threads may still queue events
  // for this object until it is gone.
  signalling_.reset();
}

bool OBLogicInteract::Start(uint32_t main_thread_id) {
  main_thread_id_ = main_thread_id;
  subscriptions_.push_back(
      chain_->Subscribe(SEVENT_RESPONSE_UserLogin, this, &OBLogicInteract::OnUserLoginResult));
  subscriptions_.push_back(chain_->Subscribe(SEVENT_RESPONSE_UserLoginByTicket, this,
                                             &OBLogicInteract::OnUserLoginResult));
  subscriptions_.push_back(chain_->Subscribe(SEVENT_RESPONSE_BeforeUserLogout, this,
                                             &OBLogicInteract::OnBeforeUserLogout));
  subscriptions_.push_back(
      chain_->Subscribe(SEVENT_RESPONSE_UpdateUserInfo, this, &OBLogicInteract::OnUserInfoUpdated));
  signalling_->set_main_thread_id(main_thread_id);
  signalling_->set_message_id(kSignallingEvent);
  return signalling_->Initial();
}

void OBLogicInteract::Stop() {
  for (EventChain::Handle handle : subscriptions_) chain_->Unsubscribe(handle);
  subscriptions_.clear();
  CloseAllVideoSessions();
  retired_codecs_.clear();
  if (signalling_->state() != ice::ICE_STATE_OFFLINE) signalling_->Logout();
}

bool OBLogicInteract::OnThreadMessage(uint32_t message, uintptr_t wparam) {
  if (message == kSignallingEvent) {
    signalling_->DispatchEvents();
    return true;
  }
  if (message == kVideoTransportNotice) {
    std::unique_ptr<VideoTransferNotice> notice =
        brx::base::TakeMessagePayload<VideoTransferNotice>(wparam);
    if (!notice) return true;
    switch (notice->code) {
      case VideoTransferNotice::kConnected:
        OnTransportConnected(notice->id, notice->flag == 1);
        break;
      case VideoTransferNotice::kClosed:
        StopVideoSession(notice->id);
        break;
      case VideoTransferNotice::kDataWaiting:
        DrainTransport(notice->id);
        break;
      case VideoTransferNotice::kRetired:
        retired_codecs_.clear();
        break;
    }
    return true;
  }
  if (message == kHeadImageDownloaded) {
    std::unique_ptr<HeadIconDownloadResult> result =
        brx::base::TakeMessagePayload<HeadIconDownloadResult>(wparam);
    if (result) OnHeadIconDownloaded(*result);
    return true;
  }
  return false;
}

void OBLogicInteract::OnTick() {
  signalling_->KeepAliveTick();
  ExpireInvitations();
}

void OBLogicInteract::ExpireInvitations() {
  const std::wstring own = OwnAccount();
  const uint32_t now = clock_.Now();
  std::vector<std::wstring> unanswered;                        // this side was asked
  std::vector<std::pair<FromHandle, std::wstring>> unreplied;  // this side asked
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    for (const auto& [id, s] : sessions_) {
      if (s.state != VideoSession::kInvited || s.answered) continue;
      const uint32_t waited = now - s.invited_at;  // unsigned: the tick wraps
      if (s.inviter == own) {
        if (waited >= kReplyLimitMs) unreplied.emplace_back(s.origin, id);
      } else if (waited >= kAnswerLimitMs) {
        unanswered.push_back(id);
      }
    }
  }
  for (const std::wstring& id : unanswered) {
    ReplyVideoInvite(id, kReplyTimedOut, FromHandle{});
    // No game took the invitation; those that show it close it.
    FireReply(FromHandle{}, id, payload::kVideoTimeout);
  }
  for (const auto& [origin, id] : unreplied) {
    FireReply(origin, id, payload::kVideoTimeout);
    CloseVideoSession(id);
  }
}

void OBLogicInteract::FireReply(const FromHandle& origin, const std::wstring& id, int32_t result) {
  payload::SEVENT_VIDEO_REPLY reply(origin, id, result);
  chain_->FireEvent(&reply);
}

void OBLogicInteract::GetOnlineFriend(int page, int page_size) {
  if (signalling_->state() == ice::ICE_STATE_LOGGED_IN) {
    signalling_->GetOnlineFriend(page, page_size);
    return;
  }
  const std::vector<OnlineFriendInfo> none;
  payload::SEVENT_GETONLINEFRIEND event(0, page, &none);
  chain_->FireEvent(&event);
}

void OBLogicInteract::InviteVideo(const std::wstring& id, const std::wstring& invited,
                                  bool send_own_video, const FromHandle& origin) {
  const InteractUser user = host_->CurrentUser();
  if (invited == user.account) return;
  if (signalling_->state() != ice::ICE_STATE_LOGGED_IN) {
    FireReply(origin, id,
              user.display_name.empty() ? payload::kVideoNoUser : payload::kVideoNoLink);
    if (signalling_->state() == ice::ICE_STATE_OFFLINE) ConnectIceServer();
    return;
  }
  const std::wstring sender = send_own_video ? user.account : invited;
  bool busy = false;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    // Only one session at a time.
    busy = !sessions_.empty();
    if (!busy) {
      VideoSession& s = sessions_[id];
      s.id = id;
      s.origin = origin;
      s.inviter = user.account;
      s.sender = sender;
      s.invited = {invited};
      s.state = VideoSession::kInvited;
      s.invited_at = clock_.Now();
    }
  }
  if (busy) {
    FireReply(origin, id, payload::kVideoSessionExists);
    return;
  }
  signalling_->Invite(ombrix::video::InvitationJson(sender), id, invited);
}

void OBLogicInteract::ReplyVideoInvite(const std::wstring& id, int result,
                                       const FromHandle& origin) {
  const std::wstring own = OwnAccount();
  std::wstring inviter;
  int32_t codec_type = 0;
  bool sender = false;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.answered) return;
    VideoSession& s = it->second;
    s.answered = true;
    s.origin = origin;
    inviter = s.inviter;
    codec_type = s.codec_type;
    sender = s.IsSender(own);
  }
  if (result == 0) {
    // The codec starts its thread: made unlocked, then handed over.
    std::unique_ptr<VideoEnDecoder> codec = NewVideoEnDecoder(codec_type, this, id, sender);
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    VideoSession& s = sessions_.at(id);  // only this thread removes sessions
    s.codec = std::move(codec);
    s.state = VideoSession::kNegotiating;
  }
  if (result != 0) {
    signalling_->Reply(id, inviter, result, L"");
    CloseVideoSession(id);
    return;
  }
  signalling_->Reply(id, inviter, 0, ombrix::video::AcceptJson());
}

void OBLogicInteract::StopVideoOfRequester(const FromHandle& origin) {
  std::wstring id;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    for (const auto& [key, s] : sessions_) {
      if (s.origin.kind == origin.kind && s.origin.handle == origin.handle) {
        id = key;
        break;
      }
    }
  }
  if (!id.empty()) CloseVideoSession(id);
}

void OBLogicInteract::CloseVideoSession(const std::wstring& id) { CloseSession(id, true); }

void OBLogicInteract::CloseSession(const std::wstring& id, bool hangup) {
  if (draining_) {
    {
      std::lock_guard<std::mutex> lock(sessions_mutex_);
      auto it = sessions_.find(id);
      if (it == sessions_.end()) return;
      it->second.stopping = true;
    }
    deferred_closes_.emplace_back(id, hangup);
    return;
  }
  VideoSession session;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    session = std::move(it->second);
    sessions_.erase(it);
  }
  Dispose(std::move(session), hangup);
}

void OBLogicInteract::Dispose(VideoSession session, bool hangup) {
  // Outside the session lock: stopping a link joins its threads, and the
  // codec thread may be waiting for the lock to hand over output. The
  // session is out of the map, so no new send starts on its links.
  if (hangup) signalling_->Hangup(session.Peer(OwnAccount()), session.id);
  WaitUntilUnused(session.relay_link.get(), session.udt_link.get());
  if (session.relay_link) session.relay_link->Close();
  if (session.udt_link) session.udt_link->Close();
  session.relay_link.reset();
  session.udt_link.reset();
  RetireCodec(std::move(session.codec));
}

void OBLogicInteract::RetireCodec(std::unique_ptr<VideoEnDecoder> codec) {
  if (!codec) return;
  retired_codecs_.push_back(std::move(codec));
  auto notice = std::make_unique<VideoTransferNotice>();
  notice->code = VideoTransferNotice::kRetired;
  brx::base::PostOwnedMessage(main_thread_id_, 0, kVideoTransportNotice, std::move(notice));
}

void OBLogicInteract::StopVideoSession(const std::wstring& id) {
  FromHandle origin;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(id);
    // A session already stopping told its game so.
    if (it == sessions_.end() || it->second.stopping) return;
    it->second.stopping = true;
    origin = it->second.origin;
  }
  payload::SEVENT_VIDEO_STOP stop(origin, id);
  chain_->FireEvent(&stop);
  CloseVideoSession(id);
}

void OBLogicInteract::CloseAllVideoSessions() {
  std::map<std::wstring, VideoSession> all;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    all.swap(sessions_);
  }
  for (auto& [id, session] : all) Dispose(std::move(session), true);
}

void OBLogicInteract::PushVideoFrame(const std::wstring& id, const uint8_t* bytes, uint32_t size,
                                     uint16_t fps, uint16_t width, uint16_t height) {
  if (VideoEnDecoder* codec = CodecToFeed(id, Feed::kOwnVideo))
    codec->PushFrame(0, fps, width, height, bytes, size);
}

VideoEnDecoder* OBLogicInteract::CodecToFeed(const std::wstring& id, Feed feed) const {
  // The caller pushes without the session lock (the copy of a large
  // picture, and the log line of a burst of drops, hold nothing up): codecs
  // die only on this thread, so the codec stays valid meanwhile.
  const std::wstring own = OwnAccount();
  std::lock_guard<std::mutex> lock(sessions_mutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end() || it->second.stopping || !it->second.codec) return nullptr;
  return it->second.IsSender(own) == (feed == Feed::kOwnVideo) ? it->second.codec.get() : nullptr;
}

void OBLogicInteract::ConnectIceServer() {
  const InteractUser user = host_->CurrentUser();
  if (user.display_name.empty()) return;
  std::wstring address = host_->IceServerAddress();
  static const std::wstring kScheme = L"http://";
  if (address.compare(0, kScheme.size(), kScheme) != 0) return;
  address.erase(0, kScheme.size());
  const size_t colon = address.find(L':');
  if (colon == std::wstring::npos) return;
  const std::wstring host = address.substr(0, colon);
  const std::wstring port_text = address.substr(colon + 1);
  if (host.empty() || port_text.empty()) return;
  wchar_t* end = nullptr;
  const long port = wcstol(port_text.c_str(), &end, 10);
  if (port <= 0 || port > 65535) return;
  signalling_->Login(host, static_cast<int>(port), user.session_id, user.account,
                     user.display_name);
}

void OBLogicInteract::OnUserLoginResult(const EventParameter*) {
  // Signed in means a session id; a failed sign-in leaves none.
  if (!host_->CurrentUser().session_id.empty()) ConnectIceServer();
}

void OBLogicInteract::OnUserInfoUpdated(const EventParameter*) {
  if (signalling_->state() == ice::ICE_STATE_OFFLINE) {
    ConnectIceServer();
  } else {
    signalling_->Rename(host_->CurrentUser().display_name);
  }
}

void OBLogicInteract::OnBeforeUserLogout(const EventParameter*) {
  // Logged out first, so no HANGUP follows the sessions closed below.
  if (signalling_->state() == ice::ICE_STATE_LOGGED_IN) signalling_->Logout();
  std::vector<std::pair<FromHandle, std::wstring>> stopped;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    for (auto& [id, s] : sessions_) {
      if (s.stopping) continue;
      s.stopping = true;
      stopped.emplace_back(s.origin, id);
    }
  }
  for (const auto& [origin, id] : stopped) {
    payload::SEVENT_VIDEO_STOP stop(origin, id);
    chain_->FireEvent(&stop);
  }
  CloseAllVideoSessions();
}

void OBLogicInteract::OnIceKickout(const ice::ICEEvent_ice_kickout* e) {
  payload::SEVENT_KICKOUT kickout(e->new_public_ip, e->new_public_port);
  chain_->FireEvent(&kickout);
}

void OBLogicInteract::OnIceInvite(const ice::ICEEvent_ice_invite* e) {
  const std::wstring own = OwnAccount();
  bool busy;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    busy = !sessions_.empty();
  }
  if (busy) {
    signalling_->Reply(e->id, e->from, 2, L"");
    return;
  }
  ombrix::video::InvitationFields fields;
  std::string error;
  if (!ombrix::video::ParseInvitationJson(e->data, &fields, &error)) {
    LogWarnA("%s:%d:Json Error:%s\n", "OBLogicInteract::OnIceInvite", __LINE__, error.c_str());
    return;
  }
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    VideoSession& s = sessions_[e->id];
    s.id = e->id;
    s.inviter = e->from;
    s.sender = fields.sender;
    s.invited = {own};
    s.state = VideoSession::kInvited;
    s.invited_at = clock_.Now();
  }
  payload::SEVENT_VIDEO_INVITE invite(e->id, e->from_name, own, fields.sender == own);
  chain_->FireEvent(&invite);
}

void OBLogicInteract::OnIceReply(const ice::ICEEvent_ice_reply* e) {
  const std::wstring own = OwnAccount();
  FromHandle origin;
  std::wstring invited;
  bool sender = false;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(e->id);
    // Answers matter only to the inviter's session still waiting for one.
    if (it == sessions_.end() || it->second.inviter != own ||
        it->second.state != VideoSession::kInvited)
      return;
    const VideoSession& s = it->second;
    origin = s.origin;
    invited = s.invited.front();
    sender = s.IsSender(own);
  }
  if (e->result == ice::ICE_REPLY_ACCEPT) {
    ombrix::video::InvitationFields fields;
    std::string error;
    if (!ombrix::video::ParseInvitationJson(e->data, &fields, &error)) {
      LogWarnA("%s:%d:Json Error:%s\n", "OBLogicInteract::OnIceReply", __LINE__, error.c_str());
      invited.clear();
    } else {
      std::unique_ptr<VideoEnDecoder> codec =
          NewVideoEnDecoder(kCodecTypeWebM, this, e->id, sender);
      std::lock_guard<std::mutex> lock(sessions_mutex_);
      VideoSession& s = sessions_.at(e->id);  // only this thread removes sessions
      s.state = VideoSession::kNegotiating;
      s.codec_type = kCodecTypeWebM;
      s.codec = std::move(codec);
    }
  }
  if (e->result == ice::ICE_REPLY_ACCEPT && invited.empty()) {
    CloseVideoSession(e->id);
    return;
  }
  FireReply(origin, e->id, e->result);
  if (e->result == ice::ICE_REPLY_ACCEPT) {
    signalling_->StartStunUac(invited, e->id);
  } else {
    // The peer made no session for a refused invitation, so there is
    // nothing to hang up; a HANGUP, which names only the id, would end
    // whatever call the peer holds under the same id (a busy peer's).
    CloseSession(e->id, false);
  }
}

void OBLogicInteract::OnIceHangup(const ice::ICEEvent_ice_hangup* e) { StopVideoSession(e->id); }

void OBLogicInteract::OnStunInvite(const ice::ICEEvent_stun_invite* e) {
  const std::wstring own = OwnAccount();
  std::wstring peer;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(e->id);
    if (it == sessions_.end()) return;
    it->second.state = VideoSession::kNegotiating;
    peer = it->second.Peer(own);
  }
  signalling_->StartStunUas(e->id, e->remote_private_ip, peer, e->port_type, e->remote_private_port,
                            e->remote_public_ip, e->remote_public_port);
}

void OBLogicInteract::OnStunReply(const ice::ICEEvent_stun_reply* e) {
  if (e->code != 0 && e->code != 1) return;
  const std::wstring own = OwnAccount();
  std::wstring peer;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(e->id);
    // A binding that gives up late, once another link is on its way,
    // changes nothing.
    if (it == sessions_.end() || it->second.state != VideoSession::kNegotiating) return;
    it->second.state = VideoSession::kRelay;
    peer = it->second.Peer(own);
  }
  signalling_->RelayInvite(e->id, peer);
}

void OBLogicInteract::OnStunReady(const ice::ICEEvent_stun_ready* e) {
  // The punched port is reused by the link, so its socket goes first.
  const int socket = e->TakeSocket();
  if (socket >= 0) close(socket);
  std::unique_ptr<ice::BindingResult> result = e->TakeResult();
  if (!result) return;
  const std::wstring own = OwnAccount();
  bool sender = false;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(e->id);
    if (it == sessions_.end() || it->second.state != VideoSession::kNegotiating ||
        it->second.udt_link)
      return;
    VideoSession& s = it->second;
    s.peer_ip = result->peer_ip;
    s.peer_port = result->peer_port;
    sender = s.IsSender(own);
  }
  // The link opens its socket and threads unlocked; the session, which
  // only this thread changes, takes it afterwards.
  // The socket's own port: behind a NAT that changes ports the port the
  // peer saw is not one this host has.
  const uint16_t port =
      static_cast<uint16_t>(result->local_port != 0 ? result->local_port : result->bind_port);
  auto link = std::make_unique<UdtLink>(this, main_thread_id_, kVideoTransportNotice, e->id);
  bool failed = false;
  if (sender) {
    failed = !link->InitialServer(port);
  } else {
    failed = !link->InitialClient(port);
    if (!failed)
      link->Connect(brx::util::WideToUtf8(result->peer_ip),
                    static_cast<uint16_t>(result->peer_port));
  }
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    sessions_.at(e->id).udt_link = std::move(link);
  }
  if (failed) {
    LogWarnA("InitialUDT failed\n");
    CloseVideoSession(e->id);
  }
}

void OBLogicInteract::OnRelayReply(const ice::ICEEvent_relay_reply* e) {
  std::unique_ptr<RelayLink> old_relay;
  std::unique_ptr<UdtLink> old_udt;
  FromHandle origin;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(e->id);
    if (it == sessions_.end()) return;
    VideoSession& s = it->second;
    // Both sides may ask for the relay; a second reply naming the same
    // relay must not open a second connection to it.
    if (s.relay_link && s.peer_ip == e->relay_ip && s.peer_port == e->relay_port) return;
    s.state = VideoSession::kRelay;
    s.peer_ip = e->relay_ip;
    s.peer_port = e->relay_port;
    origin = s.origin;
  }
  // The new link connects unlocked; the session, which only this thread
  // changes, swaps it in afterwards.
  auto relay = std::make_unique<RelayLink>(this, main_thread_id_, kVideoTransportNotice, e->id);
  int error = 0;
  if (relay->Initial()) {
    relay->Connect(brx::util::WideToUtf8(e->relay_ip), static_cast<uint16_t>(e->relay_port));
  } else {
    error = errno;
  }
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    VideoSession& s = sessions_.at(e->id);
    old_relay = std::move(s.relay_link);
    old_udt = std::move(s.udt_link);
    s.relay_link = std::move(relay);
  }
  // Replaced links stop once no codec thread sends on them.
  WaitUntilUnused(old_relay.get(), old_udt.get());
  if (old_relay) old_relay->Close();
  if (old_udt) old_udt->Close();
  if (error != 0) {
    LogWarnA("%s:%d:InitialTCP()=%d failed\n", "OBLogicInteract::OnRelayReply", __LINE__, error);
    FireReply(origin, e->id, payload::kVideoNoLink);
    CloseVideoSession(e->id);
  }
}

void OBLogicInteract::OnIceGetOnlineFriend(const ice::ICEEvent_ice_getonlinefriend* e) {
  const std::wstring own = OwnAccount();
  std::vector<OnlineFriendInfo> friends;
  std::string folder;
  for (const OnlineFriendInfo& f : e->friends) {
    if (f.user_account.empty() || f.user_account == own) continue;
    OnlineFriendInfo info{f.user_account, f.user_name, L""};
    if (!f.head_icon.empty()) {
      auto known = head_icons_.find(f.head_icon);
      if (known != head_icons_.end()) {
        info.head_icon = known->second;
      } else {
        if (folder.empty()) {
          folder = host_->HeadIconCacheFolder();
          std::error_code ignored;
          std::filesystem::create_directories(folder, ignored);
        }
        head_icons_[f.head_icon] = L"";
        host_->StartHeadIconDownload(f.head_icon,
                                     brx::util::Utf8ToWide(folder + "/" + NewFileName()));
      }
    }
    friends.push_back(std::move(info));
  }
  payload::SEVENT_GETONLINEFRIEND event(e->record_count, e->page, &friends);
  chain_->FireEvent(&event);
}

void OBLogicInteract::OnHeadIconDownloaded(const HeadIconDownloadResult& result) {
  // A failed download keeps its empty entry: the image is not asked for
  // again.
  auto it = head_icons_.find(result.url);
  if (!result.ok || it == head_icons_.end()) return;
  it->second = result.path;
  payload::SEVENT_GETONLINEFRIENDHEADICON event(result.url, result.path);
  chain_->FireEvent(&event);
}

VideoEnDecoder* OBLogicInteract::MarkLinkReady(VideoSession* session, const std::wstring& own) {
  session->state = VideoSession::kReady;
  // The peer joins the stream here: the sender's codec must start on a key
  // frame.
  return session->IsSender(own) ? session->codec.get() : nullptr;
}

void OBLogicInteract::OnTransportConnected(const std::wstring& id, bool ok) {
  const std::wstring own = OwnAccount();
  enum class Then { kNothing, kReady, kRelay, kNoLink } then = Then::kNothing;
  FromHandle origin;
  std::wstring peer;
  VideoEnDecoder* key_frame_codec = nullptr;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.stopping) return;
    VideoSession& s = it->second;
    origin = s.origin;
    peer = s.Peer(own);
    if (s.state == VideoSession::kNegotiating || s.state == VideoSession::kRelay) {
      if (ok) {
        key_frame_codec = MarkLinkReady(&s, own);
        if (s.IsSender(own)) then = Then::kReady;
      } else if (s.state == VideoSession::kNegotiating) {
        s.state = VideoSession::kRelay;
        then = Then::kRelay;
      } else {
        then = Then::kNoLink;
      }
    }
  }
  // Codecs die only on this thread: the pointer holds unlocked.
  if (key_frame_codec) key_frame_codec->RequestKeyFrame();
  if (then == Then::kReady) {
    payload::SEVENT_VIDEO_READY ready(origin, id);
    chain_->FireEvent(&ready);
  } else if (then == Then::kRelay) {
    signalling_->RelayInvite(id, peer);
  } else if (then == Then::kNoLink) {
    FireReply(origin, id, payload::kVideoNoLink);
  }
}

void OBLogicInteract::DrainTransport(const std::wstring& id) {
  RelayLink* relay = nullptr;
  UdtLink* udt = nullptr;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    relay = it->second.relay_link.get();
    udt = it->second.udt_link.get();
  }
  // Links die only on this thread, and closes asked for while draining
  // wait until it is over, so the links stay valid without the lock.
  draining_ = true;
  if (relay) relay->DispatchMessages();
  if (udt) udt->DispatchMessages();
  draining_ = false;
  std::vector<std::pair<std::wstring, bool>> closes;
  closes.swap(deferred_closes_);
  for (const auto& [close_id, hangup] : closes) CloseSession(close_id, hangup);
}

void OBLogicInteract::OnPeerMessage(const uint8_t* message, uint32_t length,
                                    const std::wstring& id) {
  if (length < NetMessage_Interact::kHeaderSize) return;
  const NetMessageHeader header(message, length);
  if (header.message_id() == MessageVideoControl::kId) {
    OnPeerControl(id, MessageVideoControl(message, length).code);
  } else if (header.message_id() == MessageVideoData::kId) {
    PushReceivedFrame(id, MessageVideoData(message, length));
  }
}

void OBLogicInteract::OnPeerControl(const std::wstring& id, uint8_t code) {
  if (code == 0) {
    StopVideoSession(id);
    return;
  }
  const std::wstring own = OwnAccount();
  FromHandle origin;
  VideoEnDecoder* key_frame_codec = nullptr;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end() || it->second.stopping || !it->second.IsSender(own)) return;
    key_frame_codec = MarkLinkReady(&it->second, own);
    origin = it->second.origin;
  }
  if (key_frame_codec) key_frame_codec->RequestKeyFrame();
  payload::SEVENT_VIDEO_READY ready(origin, id);
  chain_->FireEvent(&ready);
}

void OBLogicInteract::PushReceivedFrame(const std::wstring& id, const MessageVideoData& message) {
  if (!message.HasPayload()) return;
  if (VideoEnDecoder* codec = CodecToFeed(id, Feed::kPeerVideo)) {
    codec->PushFrame(message.reinit, message.fps, message.width, message.height, message.payload,
                     message.payload_length);
  }
}

void OBLogicInteract::OnVideoOutput(const std::wstring& id) {
  // The codec calling is this thread's own, which its owner frees only
  // after joining this thread. The link is kept open by marking it in use
  // before the lock is released.
  VideoEnDecoder* codec = nullptr;
  bool stopping = false;
  FromHandle origin;
  RelayLink* relay = nullptr;
  UdtLink* udt = nullptr;
  const void* link = nullptr;
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    auto it = sessions_.find(id);
    if (it == sessions_.end() || !it->second.codec) return;
    const VideoSession& s = it->second;
    codec = s.codec.get();
    stopping = s.stopping;
    origin = s.origin;
    if (!stopping && codec->encode()) {
      relay = s.relay_link.get();
      udt = relay ? nullptr : s.udt_link.get();
      link = relay ? static_cast<const void*>(relay) : static_cast<const void*>(udt);
      if (link) links_in_use_.insert(link);
    }
  }
  struct Release {
    OBLogicInteract* self;
    const void* link;
    ~Release() {
      if (link) self->ReleaseLink(link);
    }
  } release{this, link};
  std::deque<std::unique_ptr<CodecFrame>> frames;
  codec->TakeOutput(&frames);
  // The game was told the call stopped: nothing more goes to it or the peer.
  if (stopping) return;
  if (codec->encode()) {
    for (const auto& f : frames) {
      const MessageVideoData message(f->flag, f->fps, f->width, f->height, f->counter,
                                     f->bytes.get(), f->size);
      if (relay) {
        relay->Send(message);
      } else {
        udt->Send(message);
      }
    }
    return;
  }
  for (const auto& f : frames) {
    payload::SEVENT_VIDEO_STREAM stream(origin, id);
    stream.bytes = f->bytes.get();
    stream.size = static_cast<int32_t>(f->size);
    stream.reinit = f->flag;
    stream.fps = f->fps;
    stream.width = f->width;
    stream.height = f->height;
    chain_->FireEvent(&stream);
  }
}

void OBLogicInteract::ReleaseLink(const void* link) {
  {
    std::lock_guard<std::mutex> lock(sessions_mutex_);
    links_in_use_.erase(links_in_use_.find(link));
  }
  link_released_.notify_all();
}

void OBLogicInteract::WaitUntilUnused(const void* relay, const void* udt) {
  // Links out of their session take no new sends, so this ends as soon as
  // the sends under way do.
  std::unique_lock<std::mutex> lock(sessions_mutex_);
  link_released_.wait(lock, [&] {
    return (!relay || links_in_use_.count(relay) == 0) && (!udt || links_in_use_.count(udt) == 0);
  });
}

int32_t OBLogicInteract::SessionStateForTesting(const std::wstring& id) const {
  std::lock_guard<std::mutex> lock(sessions_mutex_);
  auto it = sessions_.find(id);
  return it == sessions_.end() ? -1 : it->second.state;
}

VideoSession* OBLogicInteract::SessionForTesting(const std::wstring& id) {
  std::lock_guard<std::mutex> lock(sessions_mutex_);
  auto it = sessions_.find(id);
  return it == sessions_.end() ? nullptr : &it->second;
}

#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/video/codec/video_en_decoder.h"
#include "client/video/interact/interact_host.h"
#include "client/video/interact/video_session.h"
#include "client/video/signalling/ice_events.h"
#include "client/video/signalling/ice_signalling.h"
#include "client/video/transport/video_link_context.h"
#include "runtime/platform/tick_clock.h"

class MessageVideoData;

// The video chat of the main client: logs the signed-in user in to the
// rendezvous server, keeps at most one video session, chooses between a
// direct link after NAT binding and the relay, runs the session's links and
// codec worker, fetches friends' head images, and reports to the games
// through the events 41 and 44-50 of the numbered chain.
//
// Threads: every public operation, the signalling handlers and the chain
// handlers run on the GUI thread; OnVideoOutput runs on a session's codec
// thread. The session lock guards the session map and everything in a
// session; it is taken after the chain's lock, never the other way round.
// Its rule: nothing is called out while it is held (no network send or
// connect, no codec call, no event fired, no log line, no host question):
// the state needed is collected under the lock and acted on after it is
// released. Sessions are added and removed only on the GUI thread, so a
// session found there stays between two lock scopes; a codec thread marks
// the link it sends on as in use, and links are closed only once unused.
// Codec workers are never stopped while the session lock is held, nor
// from inside a chain handler (a codec thread may be waiting for the chain
// to fire event 49): a closed session's codec is retired and freed on the
// next GUI-thread message, or at Stop.
//
// The peer of a session (the target of HANGUP, RELAY INVITE and RINGING)
// is the other party on either side.
//
// An invitation nobody answers would hold the one session slot on both
// sides for good: every later call would be refused as busy. The invited
// side therefore answers it with a time-out after kAnswerLimitMs, and the
// inviter gives up by itself after kReplyLimitMs (longer, so the invited
// side's answer normally comes first) when no answer arrives at all.
class OBLogicInteract : public ice::IceClientObersver,
                        public VideoEnDecoder::VEDWatcher,
                        public VideoTransferOwner {
 public:
  static constexpr uint32_t kAnswerLimitMs = 30000;
  static constexpr uint32_t kReplyLimitMs = 45000;

  // `chain` and `host` are borrowed and outlive this object. Without a
  // `signalling`, the real signalling client is made. `clock` times the
  // unanswered invitations.
  OBLogicInteract(EventChain* chain, InteractHost* host,
                  std::unique_ptr<ice::IceSignalling> signalling = nullptr,
                  const brx::platform::TickClock& clock = brx::platform::SystemTickClock());
  ~OBLogicInteract() override;

  // Subscribes to the sign-in events and starts the signalling client;
  // notices and signalling wake-ups go to `main_thread_id`.
  bool Start(uint32_t main_thread_id);
  // Unsubscribes, closes every session and logs out. Safe twice.
  void Stop();
  // The main loop's entry for 2224, 2225 and 2226; false for any other.
  // `wparam` is the ticket of the notice or result the message owns.
  bool OnThreadMessage(uint32_t message, uintptr_t wparam);
  // The logic tick (about once a second): keep-alive, and invitations
  // left unanswered past their limit.
  void OnTick();

  void GetOnlineFriend(int page, int page_size);
  void InviteVideo(const std::wstring& id, const std::wstring& invited, bool send_own_video,
                   const FromHandle& origin);
  // `result`: 0 accept, 1 reject, 2 busy, else time-out.
  static constexpr int kReplyTimedOut = 3;
  void ReplyVideoInvite(const std::wstring& id, int result, const FromHandle& origin);
  void StopVideoOfRequester(const FromHandle& origin);
  void CloseVideoSession(const std::wstring& id);
  void StopVideoSession(const std::wstring& id);
  void CloseAllVideoSessions();
  void PushVideoFrame(const std::wstring& id, const uint8_t* bytes, uint32_t size, uint16_t fps,
                      uint16_t width, uint16_t height);
  void ConnectIceServer();

  // Signalling events (GUI thread).
  void OnIceKickout(const ice::ICEEvent_ice_kickout* e) override;
  void OnIceInvite(const ice::ICEEvent_ice_invite* e) override;
  void OnIceReply(const ice::ICEEvent_ice_reply* e) override;
  void OnIceHangup(const ice::ICEEvent_ice_hangup* e) override;
  void OnStunInvite(const ice::ICEEvent_stun_invite* e) override;
  void OnStunReply(const ice::ICEEvent_stun_reply* e) override;
  void OnStunReady(const ice::ICEEvent_stun_ready* e) override;
  void OnRelayReply(const ice::ICEEvent_relay_reply* e) override;
  void OnIceGetOnlineFriend(const ice::ICEEvent_ice_getonlinefriend* e) override;

  // Link notices (GUI thread).
  void OnTransportConnected(const std::wstring& id, bool ok);
  void DrainTransport(const std::wstring& id);
  void OnPeerMessage(const uint8_t* message, uint32_t length, const std::wstring& id) override;
  // Codec thread.
  void OnVideoOutput(const std::wstring& id) override;

  // For tests: the session's state, or -1 when there is none.
  int32_t SessionStateForTesting(const std::wstring& id) const;
  VideoSession* SessionForTesting(const std::wstring& id);
  size_t RetiredCodecsForTesting() const { return retired_codecs_.size(); }
  ice::IceSignalling* signalling() const { return signalling_.get(); }

 private:
  void OnUserLoginResult(const EventParameter* p);
  void OnBeforeUserLogout(const EventParameter* p);
  void OnUserInfoUpdated(const EventParameter* p);
  void OnHeadIconDownloaded(const HeadIconDownloadResult& result);
  void OnPeerControl(const std::wstring& id, uint8_t code);
  void PushReceivedFrame(const std::wstring& id, const MessageVideoData& message);
  // GUI thread: the codec of a session that takes frames from this side's
  // game (kOwnVideo) or from the peer, or null.
  enum class Feed { kOwnVideo, kPeerVideo };
  VideoEnDecoder* CodecToFeed(const std::wstring& id, Feed feed) const;
  // Under the session lock: the session's link is up. Returns the codec
  // to ask for a key frame once unlocked, or null.
  VideoEnDecoder* MarkLinkReady(VideoSession* session, const std::wstring& own);
  // A codec thread is done sending on `link` (a RelayLink or UdtLink).
  void ReleaseLink(const void* link);
  // GUI thread, before closing links taken out of their session: waits
  // until no codec thread sends on them.
  void WaitUntilUnused(const void* relay, const void* udt);
  void ExpireInvitations();

  // Takes the session out of the map and closes it: HANGUP (when asked and
  // still logged in), links stopped, codec retired. While links are being
  // drained the close waits until the drain is over.
  void CloseSession(const std::wstring& id, bool hangup);
  void Dispose(VideoSession session, bool hangup);
  void RetireCodec(std::unique_ptr<VideoEnDecoder> codec);
  void FireReply(const FromHandle& origin, const std::wstring& id, int32_t result);
  std::wstring OwnAccount() const { return host_->CurrentUser().account; }

  EventChain* const chain_;
  InteractHost* const host_;
  const brx::platform::TickClock& clock_;
  std::unique_ptr<ice::IceSignalling> signalling_;
  uint32_t main_thread_id_ = 0;
  std::vector<EventChain::Handle> subscriptions_;

  // Guards the session map, everything in a session, and the links in
  // use. Nothing is called out while it is held (see the class comment).
  mutable std::mutex sessions_mutex_;
  std::map<std::wstring, VideoSession> sessions_;
  // Links a codec thread is sending on without the lock; a link is closed
  // only once it is out of this set.
  std::multiset<const void*> links_in_use_;
  std::condition_variable link_released_;

  // GUI thread only.
  std::map<std::wstring, std::wstring> head_icons_;  // URL -> file; empty while downloading
  std::vector<std::unique_ptr<VideoEnDecoder>> retired_codecs_;
  bool draining_ = false;
  std::vector<std::pair<std::wstring, bool>> deferred_closes_;
};

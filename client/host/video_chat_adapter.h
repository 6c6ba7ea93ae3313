#pragma once

#include <memory>
#include <string>

#include "client/app/logic_parts.h"
#include "client/core/event_chain.h"
#include "client/core/gamelink/game_link_video.h"
#include "client/video/interact/interact_host.h"
#include "client/web/jober.h"

class OBLogicInteract;
class WebLogicManager;

// The video chat as a part of the logic holder: owns the interaction logic
// and the head-image download worker "OBLogicInteract_Download", and
// answers the logic's questions about the signed-in user and the
// rendezvous server from the web logic manager; the games reach the
// logic through it. Borrows the chain and the
// manager, which outlive it. GUI thread only, except that finished
// downloads arrive on the worker.
class VideoChatAdapter : public VideoChatPart,
                         public InteractHost,
                         public IGameLinkVideoChat,
                         private JoberListener {
 public:
  VideoChatAdapter(const std::wstring& program_folder, EventChain& events, WebLogicManager& web);
  ~VideoChatAdapter() override;

  OBLogicInteract& logic() { return *logic_; }

  // VideoChatPart
  bool Start(uint32_t gui_thread_id) override;
  uint32_t KeepAliveInterval() const override;
  void SendKeepAlive() override;
  bool OnThreadMessage(const brx::base::Message& msg) override;
  void Stop() override;

  // InteractHost
  InteractUser CurrentUser() const override;
  std::wstring IceServerAddress() const override;
  std::string HeadIconCacheFolder() const override;
  void StartHeadIconDownload(const std::wstring& url, const std::wstring& path) override;

  // IGameLinkVideoChat
  void GetOnlineFriend(int32_t page, int32_t page_size) override;
  void InviteVideo(const std::wstring& id, const std::wstring& invited, bool send_own_video,
                   const FromHandle& origin) override;
  void ReplyVideoInvite(const std::wstring& id, int32_t result, const FromHandle& origin) override;
  void CloseVideoSession(const std::wstring& id) override;
  void StopVideoOfRequester(const FromHandle& origin) override;
  void PushVideoFrame(const std::wstring& id, const uint8_t* bytes, uint32_t size, uint16_t fps,
                      uint16_t width, uint16_t height) override;

 private:
  // GUI thread, once stopped: frees the notices and results still queued.
  void DropQueuedNotices();
  // Worker thread: posts the result, owned by the message 2226, to the GUI
  // thread.
  void OnResult(std::unique_ptr<JoberDescReturn_Web> result) override;

  const std::wstring program_folder_;
  WebLogicManager& web_;
  uint32_t gui_thread_id_ = 0;
  std::unique_ptr<OBLogicInteract> logic_;
  std::unique_ptr<JobWorker> downloads_;
};

#include "client/host/video_chat_adapter.h"

#include <vector>

#include "client/core/message_ids.h"
#include "client/video/interact/ob_logic_interact.h"
#include "client/video/transport/video_transfer_notice.h"
#include "client/web/jober_web.h"
#include "client/web/ob_logic_web_server_config.h"
#include "client/web/ob_logic_web_user.h"
#include "client/web/web_logic_manager.h"
#include "runtime/base/message_loop.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/util/text_convert.h"

namespace {

// The signalling client gates its own 5-second keep-alive; it is asked on
// every tick of the logic timer.
constexpr uint32_t kKeepAliveTickMs = 1000;

}  // namespace

VideoChatAdapter::VideoChatAdapter(const std::wstring& program_folder, EventChain& events,
                                   WebLogicManager& web)
    : program_folder_(program_folder),
      web_(web),
      logic_(std::make_unique<OBLogicInteract>(&events, this)) {}

VideoChatAdapter::~VideoChatAdapter() {
  Stop();
  logic_.reset();
}

bool VideoChatAdapter::Start(uint32_t gui_thread_id) {
  gui_thread_id_ = gui_thread_id;
  downloads_ = std::make_unique<JobWorker>("OBLogicInteract_Download");
  return logic_->Start(gui_thread_id);
}

uint32_t VideoChatAdapter::KeepAliveInterval() const { return kKeepAliveTickMs; }

void VideoChatAdapter::SendKeepAlive() { logic_->OnTick(); }

bool VideoChatAdapter::OnThreadMessage(const brx::base::Message& msg) {
  return logic_->OnThreadMessage(msg.message, msg.wParam);
}

void VideoChatAdapter::Stop() {
  logic_->Stop();
  // Joins the worker: a transfer under way is aborted, queued ones dropped.
  downloads_.reset();
  DropQueuedNotices();
}

void VideoChatAdapter::DropQueuedNotices() {
  // Every link, codec and download thread has been joined, so nothing
  // posts a notice or a result any more; those already queued are freed
  // now rather than with the queue. Other messages keep their order.
  std::vector<brx::base::Message> others;
  brx::base::Message msg;
  while (brx::base::PeekMessage(&msg, true)) {
    if (msg.message == ombrix::messages::kVideoTransportNotice) {
      brx::base::TakeMessagePayload<VideoTransferNotice>(msg.wParam);
    } else if (msg.message == ombrix::messages::kHeadImageDownloaded) {
      brx::base::TakeMessagePayload<HeadIconDownloadResult>(msg.wParam);
    } else if (msg.message != brx::base::WM_TIMER) {  // timers come again by themselves
      others.push_back(msg);
    }
  }
  for (const brx::base::Message& m : others)
    brx::base::PostThreadMessage(gui_thread_id_, m.message, m.wParam, m.lParam);
}

InteractUser VideoChatAdapter::CurrentUser() const {
  const UserAccountRecord& record = web_.User().record();
  InteractUser user;
  user.account = record.Account;
  user.session_id = record.SessionID;
  for (const std::wstring* name :
       {&record.DisplayRoleName, &record.TGNickName, &record.NickName, &record.Account}) {
    if (!name->empty()) {
      user.display_name = *name;
      break;
    }
  }
  return user;
}

std::wstring VideoChatAdapter::IceServerAddress() const {
  return web_.ServerConfig().GetServerUrlForCommand(L"IceServer");
}

std::string VideoChatAdapter::HeadIconCacheFolder() const {
  return brx::util::WideToUtf8(program_folder_) + "/Users/All Users/cache";
}

void VideoChatAdapter::StartHeadIconDownload(const std::wstring& url, const std::wstring& path) {
  if (!downloads_) return;
  auto job = std::make_unique<JoberDesc_WebDownload>(nullptr, FromHandle{});
  job->request.command_name = L"OBLogicInteract_Download";
  job->url.use_raw_url = true;
  job->url.raw_url = url;
  job->file = path;
  PostWebJob(downloads_.get(), std::make_unique<Jober_WebDownload>(), std::move(job), this);
}

void VideoChatAdapter::GetOnlineFriend(int32_t page, int32_t page_size) {
  logic_->GetOnlineFriend(page, page_size);
}

void VideoChatAdapter::InviteVideo(const std::wstring& id, const std::wstring& invited,
                                   bool send_own_video, const FromHandle& origin) {
  logic_->InviteVideo(id, invited, send_own_video, origin);
}

void VideoChatAdapter::ReplyVideoInvite(const std::wstring& id, int32_t result,
                                        const FromHandle& origin) {
  logic_->ReplyVideoInvite(id, result, origin);
}

void VideoChatAdapter::CloseVideoSession(const std::wstring& id) { logic_->CloseVideoSession(id); }

void VideoChatAdapter::StopVideoOfRequester(const FromHandle& origin) {
  logic_->StopVideoOfRequester(origin);
}

void VideoChatAdapter::PushVideoFrame(const std::wstring& id, const uint8_t* bytes, uint32_t size,
                                      uint16_t fps, uint16_t width, uint16_t height) {
  logic_->PushVideoFrame(id, bytes, size, fps, width, height);
}

void VideoChatAdapter::OnResult(std::unique_ptr<JoberDescReturn_Web> result) {
  auto done = std::make_unique<HeadIconDownloadResult>();
  done->ok = result->ok;
  done->url = result->reply;
  done->path = result->text;
  if (auto* download = dynamic_cast<JoberDesc_WebDownload*>(result->job.get())) {
    done->path = download->file;
    if (done->url.empty()) done->url = download->url.raw_url;
  }
  brx::base::PostOwnedMessage(gui_thread_id_, 0, ombrix::messages::kHeadImageDownloaded,
                              std::move(done));
}

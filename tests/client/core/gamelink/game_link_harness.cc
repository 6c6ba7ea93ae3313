#include "tests/client/core/gamelink/game_link_harness.h"

#include <filesystem>

#include "client/core/config_store.h"
#include "client/core/core_events.h"
#include "client/core/gamelink/ob_logic_game_friend.h"
#include "client/core/gamelink/ob_logic_game_interact_video_transfer.h"
#include "client/core/message_ids.h"
#include "runtime/base/thread.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/util/edition.h"
#include "runtime/util/text_convert.h"

namespace gamelink_test {

namespace {

constexpr uint32_t kRunTask = brx::base::WM_USER + 77;

const char kGameFile[] =
    "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\" ?>\n"
    "<root><game id=\"g1\" name=\"Game One\"><shortcut>"
    "<oneshot key=\"F5\" /><manyshot "
    "key=\"F6\"><duration>7</duration><interval>0.5</interval></manyshot>"
    "<regiononeshot key=\"F7\" /><regionmanyshot key=\"F8\" /><showhide key=\"F9\" /><quickpublish "
    "key=\"F2\" />"
    "<timeshot enable=\"1\"><interval>9</interval></timeshot><quality>77</quality>"
    "</shortcut></game></root>\n";

// The game link server, telling the test of every connection it serves.
class RecordingGameCommand : public OBLogicGameCommand {
 public:
  RecordingGameCommand(EventChain& chain, ConfigStore& config, IWebUser* web,
                       GameLinkServices services,
                       std::function<void(brx::io::ConnectionId)> on_connect,
                       std::function<void()> on_disconnect)
      : OBLogicGameCommand(chain, config, web, std::move(services)),
        on_connect_(std::move(on_connect)),
        on_disconnect_(std::move(on_disconnect)) {}
  ~RecordingGameCommand() override { Stop(); }

 protected:
  void OnConnect(brx::io::ConnectionId connection, const std::wstring& pipe_name) override {
    OBLogicGameCommand::OnConnect(connection, pipe_name);
    on_connect_(connection);
  }
  void OnDisconnect(brx::io::ConnectionId connection, int error) override {
    on_disconnect_();
    OBLogicGameCommand::OnDisconnect(connection, error);
  }

 private:
  std::function<void(brx::io::ConnectionId)> on_connect_;
  std::function<void()> on_disconnect_;
};

}  // namespace

GameLinkFolder::GameLinkFolder(bool install_hook) {
  namespace fs = std::filesystem;
  fs::copy_file(ombrix::test::DistDir() + "/OBVerCustom.dll", dir_.Sub("OBVerCustom.dll"));
  ombrix::test::WriteFile(
      dir_.Sub("OBVerCustom.ini"),
      std::string("GameId=g1\nKey=OB-TEST\nInstallHook=") + (install_hook ? "1" : "0") + "\n");
  brx::util::ResetEditionCacheForTesting();
  brx::util::SetEditionLibraryPathForTesting(dir_.Sub("OBVerCustom.dll"));
  fs::create_directories(dir_.Sub("OBSkin/g1"));
  fs::create_directories(dir_.Sub("games"));
  ombrix::test::WriteFile(dir_.Sub("games/g1.xml"), kGameFile);
  pipe_env_ = std::make_unique<ombrix::test::ScopedEnv>("OMBRIX_PIPE_DIR", dir_.Sub("pipes"));
}

GameLinkFolder::~GameLinkFolder() {
  brx::util::ResetEditionCacheForTesting();
  brx::util::SetEditionLibraryPathForTesting("");
}

std::wstring GameLinkFolder::wpath() const { return brx::util::Utf8ToWide(dir_.path()); }

GuiThread::GuiThread(const GameLinkFolder& folder, IWebUser* web, GameLinkServices services,
                     IGameLinkVideoChat* video, uint32_t attach_limit_ms) {
  thread_ = std::thread([this, path = folder.wpath(), web, services, video, attach_limit_ms] {
    Main(path, web, services, video, attach_limit_ms);
  });
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return ready_; });
}

GuiThread::~GuiThread() {
  Release();
  brx::base::PostThreadMessage(tid_, brx::base::WM_QUIT, 0, 0);
  thread_.join();
}

void GuiThread::Main(std::wstring folder, IWebUser* web, GameLinkServices services,
                     IGameLinkVideoChat* video, uint32_t attach_limit_ms) {
  brx::base::ThreadMessageQueue queue;
  ConfigStore config(folder, L"g1");
  config.LoadSystemConfig();
  config.CheckSkinAndLoadGameConfigs();
  EventChain chain;
  RecordingGameCommand server(
      chain, config, web, services,
      [this](brx::io::ConnectionId connection) {
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.push_back(connection);
      },
      [this] {
        std::function<void()> hold;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          hold = disconnect_hold_;
        }
        if (hold) hold();
      });
  chain.Subscribe(SEVENT_GAME_DETACH, [this](const EventParameter* p) {
    auto* d = static_cast<const payload::SEVENT_GAME_DETACH*>(p);
    std::lock_guard<std::mutex> lock(mutex_);
    detaches_.emplace_back(d->game_name, d->connection);
  });
  if (video) {
    server.AddBlock(std::make_unique<OBLogicGameFriend>(server, chain, *video));
    server.AddBlock(std::make_unique<OBLogicGameInteract_VideoTransfer>(server, chain, *video));
  }
  server.SetAttachTimeLimit(attach_limit_ms);
  bool started = server.Start(queue.thread_id());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    chain_ = &chain;
    tid_ = queue.thread_id();
    started_ = started;
    ready_ = true;
  }
  cv_.notify_all();
  brx::base::Message m;
  while (queue.Get(&m)) {
    if (m.message == ombrix::messages::kGamePipeInput) {
      server.DispatchMessages();
    } else if (m.message == kRunTask) {
      auto* task = reinterpret_cast<std::function<void(OBLogicGameCommand&)>*>(m.wParam);
      (*task)(server);
      delete task;
      std::lock_guard<std::mutex> lock(mutex_);
      cv_.notify_all();
    }
  }
  server.Stop();
}

void GuiThread::Run(const std::function<void(OBLogicGameCommand&)>& task) {
  bool done = false;
  auto* wrapped = new std::function<void(OBLogicGameCommand&)>([&](OBLogicGameCommand& s) {
    task(s);
    std::lock_guard<std::mutex> lock(mutex_);
    done = true;
  });
  brx::base::PostThreadMessage(tid_, kRunTask, reinterpret_cast<uintptr_t>(wrapped), 0);
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [&] { return done; });
}

void GuiThread::Block() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    blocked_ = true;
  }
  auto* task = new std::function<void(OBLogicGameCommand&)>([this](OBLogicGameCommand&) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return !blocked_; });
  });
  brx::base::PostThreadMessage(tid_, kRunTask, reinterpret_cast<uintptr_t>(task), 0);
}

void GuiThread::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  blocked_ = false;
  cv_.notify_all();
}

std::vector<std::pair<std::wstring, int32_t>> GuiThread::Detaches() {
  std::lock_guard<std::mutex> lock(mutex_);
  return detaches_;
}

std::vector<std::pair<uint32_t, uint16_t>> GuiThread::Handled() {
  std::lock_guard<std::mutex> lock(mutex_);
  return handled_;
}

std::vector<brx::io::ConnectionId> GuiThread::Connections() {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

size_t GuiThread::ClientCount() {
  size_t count = 0;
  Run([&](OBLogicGameCommand& s) { count = s.GetClientCount(); });
  return count;
}

void GuiThread::RecordId(uint16_t id) {
  Run([this, id](OBLogicGameCommand& s) {
    s.Register(id, [this, id](brx::io::ConnectionId c, const uint8_t*, uint32_t) {
      std::lock_guard<std::mutex> lock(mutex_);
      handled_.emplace_back(c, id);
    });
  });
}

}  // namespace gamelink_test

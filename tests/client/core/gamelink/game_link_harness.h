#pragma once

#include <array>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/core/event_ids.h"
#include "client/core/gamelink/game_link_video.h"
#include "client/core/gamelink/game_link_web_state.h"
#include "client/core/gamelink/ob_logic_game_command.h"
#include "tests/support/test_support.h"

namespace gamelink_test {

// An install folder for the game link: the edition stand-in with its own
// values (game id "g1"), a skin folder and a game file for "g1" whose
// values differ from the fallback's, and a private pipe folder.
class GameLinkFolder {
 public:
  explicit GameLinkFolder(bool install_hook);
  ~GameLinkFolder();
  const std::string& path() const { return dir_.path(); }
  std::wstring wpath() const;
  std::string PipeDir() const { return dir_.Sub("pipes"); }

 private:
  ombrix::test::TempDir dir_;
  std::unique_ptr<ombrix::test::ScopedEnv> pipe_env_;
};

// A web state the tests set.
class FakeWebState : public IGameLinkWebState {
 public:
  bool signed_in = false;
  uint8_t login_kind = 0;
  bool nick = false;
  std::wstring folder = L"Users/All Users";
  std::array<int32_t, 4> counters{0, 0, 0, 0};
  bool IsSignedIn() const override { return signed_in; }
  uint8_t GetLoginKind() const override { return login_kind; }
  bool HasNickName() const override { return nick; }
  std::wstring GetUserFolder() const override { return folder; }
  std::array<int32_t, 4> GetDataPromptCounters() const override { return counters; }
};

// The main client's GUI thread with its message loop, running the game
// link server: kGamePipeInput drains the pipe queue, as the real main loop does.
// With a `video` chat the server has the friends and video blocks too.
class GuiThread {
 public:
  GuiThread(const GameLinkFolder& folder, const IGameLinkWebState* web = nullptr, GameLinkServices services = {},
            IGameLinkVideoChat* video = nullptr,
            uint32_t attach_limit_ms = OBLogicGameCommand::kDefaultAttachTimeLimitMs);
  ~GuiThread();  // WM_QUIT, then the server stops on its thread

  bool started() const { return started_; }
  // Runs `task` on the GUI thread and waits for it.
  void Run(const std::function<void(OBLogicGameCommand&)>& task);
  // Holds the GUI thread until Release (its queue fills meanwhile).
  void Block();
  void Release();

  // Every SEVENT_GAME_DETACH so far: (game name, connection).
  std::vector<std::pair<std::wstring, int32_t>> Detaches();
  // Every message the test's extra handlers saw: (connection, id).
  std::vector<std::pair<uint32_t, uint16_t>> Handled();
  // Every connection the server was told of, in order.
  std::vector<brx::io::ConnectionId> Connections();
  // The server's client count, read on the GUI thread.
  size_t ClientCount();
  // Runs `hold` on the pipe thread at the start of every disconnection, as
  // a busy machine might hold that thread there.
  void HoldEachDisconnect(std::function<void()> hold) {
    std::lock_guard<std::mutex> lock(mutex_);
    disconnect_hold_ = std::move(hold);
  }
  // Registers a recording handler for `id` (on the GUI thread).
  void RecordId(uint16_t id);
  EventChain& chain() { return *chain_; }

 private:
  void Main(std::wstring folder, const IGameLinkWebState* web, GameLinkServices services, IGameLinkVideoChat* video,
            uint32_t attach_limit_ms);

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool ready_ = false;
  bool started_ = false;
  bool blocked_ = false;
  uint32_t tid_ = 0;
  EventChain* chain_ = nullptr;
  std::vector<std::pair<std::wstring, int32_t>> detaches_;
  std::vector<std::pair<uint32_t, uint16_t>> handled_;
  std::vector<brx::io::ConnectionId> connections_;
  std::function<void()> disconnect_hold_;
};

}  // namespace gamelink_test

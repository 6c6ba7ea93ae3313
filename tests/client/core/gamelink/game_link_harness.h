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

// A web user whose state the tests set; its requests go to `on_request`
// (what, arguments, origin) when set.
class FakeWebState : public IWebUser {
 public:
  bool signed_in = false;
  uint8_t login_kind = 0;
  bool nick = false;
  std::wstring folder = L"Users/All Users";
  std::array<int32_t, 4> counters{0, 0, 0, 0};
  std::function<void(const std::string&, std::vector<std::wstring>, const FromHandle&)> on_request;

  void UserLogin(const std::wstring& a, const std::wstring& p, const FromHandle& o,
                 LoginFlags flags) override {
    Request("login", {a, p, HasFlag(flags, LoginFlags::kRememberPassword) ? L"1" : L"0"}, o);
  }
  void UserLoginByTicket(const std::wstring& t, const FromHandle& o) override {
    Request("ticket", {t}, o);
  }
  void UserLogout() override { Request("logout", {}, {}); }
  void UpdateNickName(const std::wstring& n) override { Request("nick", {n}, {}); }
  bool IsLoggedIn() const override { return signed_in; }
  const UserAccountRecord& record() const override {
    record_.SessionID = signed_in ? L"session" : L"";
    record_.logged_in_by_ticket = login_kind;
    record_.NickName = nick ? L"nick" : L"";
    return record_;
  }
  std::wstring GetUserFolder() const override { return folder; }
  int32_t new_mirror_blog_count() const override { return counters[0]; }
  int32_t new_about_user_count() const override { return counters[1]; }
  int32_t new_message_count() const override { return counters[2]; }
  int32_t new_fans_count() const override { return counters[3]; }

 private:
  void Request(const std::string& what, std::vector<std::wstring> args, const FromHandle& origin) {
    if (on_request) on_request(what, std::move(args), origin);
  }
  mutable UserAccountRecord record_;
};

// The main client's GUI thread with its message loop, running the game
// link server: kGamePipeInput drains the pipe queue, as the real main loop does.
// With a `video` chat the server has the friends and video blocks too.
class GuiThread {
 public:
  GuiThread(const GameLinkFolder& folder, IWebUser* web = nullptr, GameLinkServices services = {},
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
  void Main(std::wstring folder, IWebUser* web, GameLinkServices services,
            IGameLinkVideoChat* video, uint32_t attach_limit_ms);

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

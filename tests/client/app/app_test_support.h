#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "client/app/logic_parts.h"
#include "client/app/ob_application.h"
#include "client/app/user_interface_host.h"
#include "client/core/message_ids.h"
#include "tests/support/test_support.h"

// What the fake parts did, in order.
struct Journal {
  std::vector<std::string> entries;
  void Add(const std::string& entry) { entries.push_back(entry); }
  bool Has(const std::string& entry) const {
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
  }
  // Index of the first entry, or -1.
  int IndexOf(const std::string& entry) const {
    auto it = std::find(entries.begin(), entries.end(), entry);
    return it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
  }
};

class FakeWebLogic : public WebLogicPart {
 public:
  explicit FakeWebLogic(Journal* journal) : journal_(journal) {}
  void Start(uint32_t gui_thread_id) override {
    journal_->Add("web.Start");
    started_thread = gui_thread_id;
  }
  void RunStartUpJobs() override { journal_->Add("web.StartUpJobs"); }
  void OnTimer() override { journal_->Add("web.OnTimer"); }
  uint32_t FinishedJobsMessage() const override { return ombrix::messages::kWebJobsFinished; }
  bool DispatchFinishedJobs() override {
    journal_->Add("web.Dispatch");
    return consume;
  }
  std::wstring GetUserFolder() const override { return user_folder; }
  void Stop() override { journal_->Add("web.Stop"); }

  bool consume = true;
  std::wstring user_folder = L"Users/All Users";
  uint32_t started_thread = 0;

 private:
  Journal* journal_;
};

class FakeVideoChat : public VideoChatPart {
 public:
  explicit FakeVideoChat(Journal* journal) : journal_(journal) {}
  bool Start(uint32_t) override {
    journal_->Add("video.Start");
    return start_result;
  }
  uint32_t KeepAliveInterval() const override { return 5000; }
  void SendKeepAlive() override { journal_->Add("video.KeepAlive"); }
  bool OnThreadMessage(const brx::base::Message& msg) override;
  void Stop() override {
    journal_->Add("video.Stop");
    if (on_stop) on_stop();
  }

  bool start_result = true;
  std::function<void()> on_stop;

 private:
  Journal* journal_;
};

class FakeGameLink : public GameLinkPart {
 public:
  explicit FakeGameLink(Journal* journal) : journal_(journal) {}
  bool Start(uint32_t) override {
    journal_->Add("game.Start");
    return start_result;
  }
  void DispatchMessages() override { journal_->Add("game.Dispatch"); }
  void FlushShotStatistics() override { journal_->Add("game.Flush"); }
  void Stop() override { journal_->Add("game.Stop"); }

  bool start_result = true;

 private:
  Journal* journal_;
};

class FakeDaemonLink : public DaemonLinkPart {
 public:
  FakeDaemonLink(Journal* journal, OBApplication* app) : journal_(journal), app_(app) {}
  bool Start() override;
  void DispatchMessages() override { journal_->Add("daemon.Dispatch"); }
  void Stop() override {
    journal_->Add("daemon.Stop");
    if (on_stop) on_stop();
  }

  bool start_result = true;
  // Plays a daemon that connects at once.
  bool connect_on_start = true;
  std::function<void()> on_stop;

 private:
  Journal* journal_;
  OBApplication* app_;
};

class FakeUserInterface : public UserInterfaceHost {
 public:
  explicit FakeUserInterface(Journal* journal) : journal_(journal) {}
  void ShowMessageBox(const wchar_t* text, const wchar_t* caption) override {
    boxes.push_back({text ? text : L"<null>", caption ? caption : L"<null>"});
  }
  void CreateMainWindows(OBApplication*) override { journal_->Add("ui.CreateWindows"); }
  bool TranslateMessage(const brx::base::Message& msg) override;
  void DispatchMessage(const brx::base::Message& msg) override;
  void DestroyTrayWindow() override { journal_->Add("ui.DestroyTray"); }

  struct Box {
    std::wstring text;
    std::wstring caption;
  };
  std::vector<Box> boxes;
  std::set<uint32_t> translate;  // messages the translate step takes

 private:
  Journal* journal_;
};

// An installation in a temporary folder: the edition library with its
// values, the skin folder of game "other", "games", and private registry,
// lock and pipe folders. Fonts count as present.
class TestInstall {
 public:
  explicit TestInstall(const std::string& edition_ini = DefaultIni());
  ~TestInstall();

  static std::string DefaultIni() {
    return "GameId=other\nKey=OB-TEST\nKeyDesc=Test edition\nInstallHook=0\n";
  }

  const std::string& path() const { return dir_.path(); }
  std::string Sub(const std::string& name) const { return dir_.Sub(name); }
  std::wstring Folder() const;

  // Options whose composer puts fakes writing to `journal`; the last fakes
  // built are reachable through the pointers below.
  OBApplication::Options Options(Journal* journal, bool with_daemon_link = false);

  FakeWebLogic* web = nullptr;
  FakeVideoChat* video = nullptr;
  FakeGameLink* game = nullptr;
  FakeDaemonLink* daemon = nullptr;
  // Applied to each fake as it is built.
  std::function<void(FakeVideoChat*)> configure_video;
  std::function<void(FakeGameLink*)> configure_game;
  std::function<void(FakeDaemonLink*)> configure_daemon;

 private:
  ombrix::test::TempDir dir_;
  std::vector<std::unique_ptr<ombrix::test::ScopedEnv>> env_;
};

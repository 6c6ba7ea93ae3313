#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/core/user_account_record.h"
#include "client/ui/frame/frame_services.h"
#include "tests/support/test_support.h"

namespace ombrix::test {

// The client around the main window, recorded: requests go into lists,
// settings into a map. What the windows need is left empty unless a test
// fills it in.
struct FakeFrameServices : FrameServices {
  EventChain events;
  TempDir dir;
  bool session = true;
  bool accept_requests = true;
  bool login_finished = true;
  std::vector<std::string> web_browser;
  std::vector<std::vector<std::wstring>> blogs, uploads, downloads;
  std::vector<std::wstring> opened, log;
  std::map<std::wstring, std::wstring> config;

  EventChain* Events() override { return &events; }
  std::wstring ProgramDir() override { return std::filesystem::path(dir.path()).wstring(); }
  std::wstring GameId() override { return L"other"; }
  std::wstring GameName(const std::wstring& id) override {
    return id.empty() ? L"" : L"Game " + id;
  }
  std::wstring ServerAddress(const std::wstring&) override {
    return L"http://127.0.0.1:9/ClientInterface.axd";
  }
  std::wstring SiteAddress() override { return L"http://site.example/"; }
  bool HasSession() override { return session; }
  std::wstring UserId() override { return L"1001"; }
  std::wstring Account() override { return L"demo"; }
  std::wstring SessionId() override { return L"s1"; }
  std::wstring ConfigValue(const std::wstring& k, const std::wstring& d) override {
    return config.count(k) ? config[k] : d;
  }
  void SetConfigValue(const std::wstring& k, const std::wstring& v) override { config[k] = v; }
  bool AddBlog(const std::wstring& c, const std::wstring& i, const std::wstring& g,
               const std::wstring& f, const FromHandle&) override {
    if (!accept_requests) return false;
    blogs.push_back({c, i, g, f});
    return true;
  }
  bool Upload(const std::wstring& file, int timeout, const FromHandle&) override {
    if (!accept_requests) return false;
    uploads.push_back({file, std::to_wstring(timeout)});
    return true;
  }
  bool GameDownloadFile(const std::wstring& url, const std::wstring& file,
                        const FromHandle&) override {
    downloads.push_back({url, file});
    return true;
  }
  bool SearchByNickAndProfile(const std::wstring& k, const std::wstring& pg,
                              const std::wstring& n) override {
    log.push_back(L"search " + k + L" " + pg + L" " + n);
    return true;
  }
  bool AddFollowList(const std::wstring& ids, const FromHandle&) override {
    log.push_back(L"follow " + ids);
    return true;
  }
  void UserLogout() override { log.push_back(L"logout"); }
  void ResetCounter(int id) override { log.push_back(L"reset" + std::to_wstring(id)); }
  void OpenWithShell(const std::wstring& path) override { opened.push_back(path); }
  void OpenInWebBrowser(const std::string& url) override { web_browser.push_back(url); }
  void ShowLoginWindow() override { log.push_back(L"login window"); }
  bool LoginWindowFinished() override { return login_finished; }
  void RequestSignIn(const std::wstring& text) override { log.push_back(L"sign in: " + text); }

  // The windows' needs.
  ShotCatalogue* Shots() override { return shots; }
  std::vector<std::wstring> GameIds() override { return game_ids; }
  ConfigurationDialogHost SettingsHost() override {
    ConfigurationDialogHost host;
    host.config = config_store;
    host.events = &events;
    host.edition_key = L"E100";
    return host;
  }
  CAboutDialog::Info AboutInfo() override {
    return {L"1.0.0", L"test edition", "http://home.example/"};
  }
  void OpenCommunitySite() override { log.push_back(L"community"); }
  void SendFeedback(const std::wstring& content, const std::wstring& title) override {
    log.push_back(L"feedback " + title + L"|" + content);
  }
  const UserAccountRecord* CurrentUser() override { return session ? &user : nullptr; }
  void RequestProfile(const FromHandle& from) override {
    log.push_back(L"profile " + std::to_wstring(from.kind) + L"," + std::to_wstring(from.handle));
  }
  void UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) override {
    user_updates.push_back(fields);
  }
  void UpdateGameProfile(const std::wstring& json) override { profile_updates.push_back(json); }
  void RequestAvatarKey() override { log.push_back(L"avatar key"); }
  void OpenAvatarEditor(const std::wstring& key, const uilib::RECT&) override {
    log.push_back(L"avatar " + key);
  }

  ShotCatalogue* shots = nullptr;
  std::vector<std::wstring> game_ids;
  ConfigStore* config_store = nullptr;
  UserAccountRecord user;
  std::vector<std::map<std::wstring, std::wstring>> user_updates;
  std::vector<std::wstring> profile_updates;
};

}  // namespace ombrix::test

#pragma once

#include <functional>
#include <string>

#include "client/ui/frame/frame_services.h"

class ConfigStore;
class WebLogicManager;

// The main window's services on the real client: the web logic for the
// session and the requests, the configuration store for settings and game
// names, the desktop shell. What belongs to other windows (the login
// window, the sign-in prompt) is handed in by whoever creates the frame.
class WebFrameServices : public FrameServices {
 public:
  struct Links {
    std::function<void()> show_login_window;
    std::function<bool()> login_window_finished;
    // Opens a web address in the user's browser (the client's logged
    // shell); empty: the skin library's shell.
    std::function<void(const std::string& url)> open_url;
    std::function<void(const std::wstring& text)> request_sign_in;
    // The product's web site, "http://host/"; empty: none.
    std::wstring site_address;
    // The screenshot catalogue of the client's logic; null: the picker
    // and the album show no screenshots.
    ShotCatalogue* shots = nullptr;
    // For the settings dialog: the edition's registry key, the login
    // window's stored password, the folder chooser, the account
    // provider's site ("https://host").
    std::wstring edition_key;
    std::function<std::wstring()> login_password;
    std::function<bool(uilib::HWND owner, const std::wstring& title, std::wstring* folder)>
        choose_folder;
    std::wstring account_site;
    // The community site opened from the pop-up menu; empty: none.
    std::string community_site;
    CAboutDialog::Info about;
    // The avatar editor; empty: the profile editor cannot open it.
    std::function<void(const std::wstring& key, const uilib::RECT& at)> open_avatar_editor;
  };

  WebFrameServices(WebLogicManager& web, ConfigStore& config, std::wstring program_dir,
                   Links links);

  EventChain* Events() override;
  std::wstring ProgramDir() override { return program_dir_; }
  std::wstring GameId() override;
  std::wstring GameName(const std::wstring& game_id) override;
  std::wstring ServerAddress(const std::wstring& server_name) override;
  std::wstring SiteAddress() override { return links_.site_address; }
  bool HasSession() override;
  std::wstring UserId() override;
  std::wstring Account() override;
  std::wstring SessionId() override;
  std::wstring ConfigValue(const std::wstring& key, const std::wstring& fallback) override;
  void SetConfigValue(const std::wstring& key, const std::wstring& value) override;
  // The web logic answers every request, also one it could not send.
  bool AddBlog(const std::wstring& content, const std::wstring& image_url,
               const std::wstring& game_id, const std::wstring& post_from,
               const FromHandle& from) override;
  bool Upload(const std::wstring& file, int timeout_ms, const FromHandle& from) override;
  bool GameDownloadFile(const std::wstring& url, const std::wstring& file,
                        const FromHandle& from) override;
  bool SearchByNickAndProfile(const std::wstring& keyword, const std::wstring& page,
                              const std::wstring& page_size) override;
  bool AddFollowList(const std::wstring& ids, const FromHandle& from) override;
  void UserLogout() override;
  void ResetCounter(int event_id) override;
  void OpenWithShell(const std::wstring& path) override;
  void OpenInWebBrowser(const std::string& url) override;
  void ShowLoginWindow() override;
  bool LoginWindowFinished() override;
  void RequestSignIn(const std::wstring& text) override;
  ShotCatalogue* Shots() override { return links_.shots; }
  std::vector<std::wstring> GameIds() override;
  ConfigurationDialogHost SettingsHost() override;
  CAboutDialog::Info AboutInfo() override { return links_.about; }
  void OpenCommunitySite() override;
  void SendFeedback(const std::wstring& content, const std::wstring& title) override;
  const UserAccountRecord* CurrentUser() override;
  void RequestProfile(const FromHandle& from) override;
  void UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) override;
  void UpdateGameProfile(const std::wstring& json) override;
  void RequestAvatarKey() override;
  void OpenAvatarEditor(const std::wstring& key, const uilib::RECT& at) override;

 private:
  WebLogicManager& web_;
  ConfigStore& config_;
  std::wstring program_dir_;
  Links links_;
};

#pragma once

#include <map>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/core/event_parameter.h"
#include "client/ui/dialogs/about_dialog.h"
#include "client/ui/settings/configuration_dialog.h"

class ShotCatalogue;
struct UserAccountRecord;

// What the main window needs from the client around it: the event chain,
// the signed-in session, configuration, the web requests and the other
// windows. The composition root gives the real client; tests give fakes.
// GUI thread.
class FrameServices {
 public:
  virtual ~FrameServices() = default;

  virtual EventChain* Events() = 0;
  virtual std::wstring ProgramDir() = 0;
  virtual std::wstring GameId() = 0;
  virtual std::wstring GameName(const std::wstring& game_id) = 0;
  // The web service address of a server name; empty while unknown.
  virtual std::wstring ServerAddress(const std::wstring& server_name) = 0;
  // The product's own web site ("http://host/"), whose pages may use the
  // bridge too.
  virtual std::wstring SiteAddress() = 0;

  virtual bool HasSession() = 0;
  virtual std::wstring UserId() = 0;
  virtual std::wstring Account() = 0;
  virtual std::wstring SessionId() = 0;

  virtual std::wstring ConfigValue(const std::wstring& key, const std::wstring& fallback) = 0;
  virtual void SetConfigValue(const std::wstring& key, const std::wstring& value) = 0;

  // Requests; each answers on the event chain. False when no request went
  // out (no session, no server address): no answer will come.
  virtual bool AddBlog(const std::wstring& content, const std::wstring& image_url,
                       const std::wstring& game_id, const std::wstring& post_from,
                       const FromHandle& from) = 0;
  virtual bool Upload(const std::wstring& file, int timeout_ms, const FromHandle& from) = 0;
  virtual bool GameDownloadFile(const std::wstring& url, const std::wstring& file,
                                const FromHandle& from) = 0;
  virtual bool SearchByNickAndProfile(const std::wstring& keyword, const std::wstring& page,
                                      const std::wstring& page_size) = 0;
  // Follows the users whose ids the text lists (as the lists give them).
  virtual bool AddFollowList(const std::wstring& ids, const FromHandle& from) = 0;
  virtual void UserLogout() = 0;
  // 13 mentions, 14 private messages, 15 fans, 16 new diaries.
  virtual void ResetCounter(int event_id) = 0;

  virtual void OpenWithShell(const std::wstring& path) = 0;
  // Opens a web address in the user's own web browser.
  virtual void OpenInWebBrowser(const std::string& url) = 0;
  virtual void ShowLoginWindow() = 0;
  // The login window has handed over to the main window after a sign-in
  // and not been shown again since.
  virtual bool LoginWindowFinished() = 0;
  // Asks the user to sign in first, with this text; the frame asks through
  // its pop-up menu when it has one (it has none without a configuration).
  virtual void RequestSignIn(const std::wstring& text) = 0;

  // What the windows the frame opens need.
  // The screenshots the picker and the album browse; null: none known.
  virtual ShotCatalogue* Shots() = 0;
  // The games of the configuration set, in their order.
  virtual std::vector<std::wstring> GameIds() = 0;
  // The settings dialog's needs; the frame adds its controls and its
  // quota note.
  virtual ConfigurationDialogHost SettingsHost() = 0;
  virtual CAboutDialog::Info AboutInfo() = 0;
  virtual void OpenCommunitySite() = 0;
  virtual void SendFeedback(const std::wstring& content, const std::wstring& title) = 0;
  // The signed-in user's record; null when nobody is signed in.
  virtual const UserAccountRecord* CurrentUser() = 0;
  // The account and its game roles, for the profile editor; both answer
  // on the event chain.
  virtual void RequestProfile(const FromHandle& from) = 0;
  virtual void UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields) = 0;
  virtual void UpdateGameProfile(const std::wstring& json) = 0;
  virtual void RequestAvatarKey() = 0;
  virtual void OpenAvatarEditor(const std::wstring& key, const uilib::RECT& at) = 0;
};

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "client/core/event_chain.h"
#include "client/core/user_account_record.h"
#include "client/core/web_user.h"

struct JoberDescReturn_Web;
class JoberDesc_Web;
class WebLogicManager;

// The signed-in user of the main client: the session and account record
// the web service returned, the head images on disk and the new-item
// counters. Sends the "UserAccount" commands, keeps the record current
// from their replies and fires the reply events (0 to 16).
//
// A failed sign-in leaves a signed-in user as it was; only a sign-in the
// service refused (Status not 0) clears the remembered account and
// password and turns auto-login off, and while a user is signed in only a
// refused sign-in of the remembered account; a failed exchange keeps them.
//
// Main thread only. Commands that need a session do nothing while nobody
// is signed in; a command whose server is unknown sends nothing. Replies
// that belong to an earlier sign-in (head images, new-item counters) are
// dropped. Owned by the web logic manager; its event subscriptions end
// with Stop() or, at the latest, with the object.
class OBLogicWeb_User : public IWebUser {
 public:
  OBLogicWeb_User() = default;
  ~OBLogicWeb_User() override;
  OBLogicWeb_User(const OBLogicWeb_User&) = delete;
  OBLogicWeb_User& operator=(const OBLogicWeb_User&) = delete;

  // Keeps the manager and subscribes to events 0, 1, 3 and 4 on its chain.
  void RegisterEvents(WebLogicManager* manager);
  // Shut-down: signs a signed-in user out without a request (events 3 and
  // 4), then unsubscribes.
  void Stop();

  // "PaswordType" is "cipher" with kCipher and a password that is not
  // empty; kRememberPassword sends "RequireCipher", asking the service for
  // a cipher to remember.
  void UserLogin(const std::wstring& account, const std::wstring& password,
                 const FromHandle& origin, LoginFlags flags) override;
  // The reply event 1 carries `origin`, so a game that handed over the
  // ticket hears of the outcome.
  void UserLoginByTicket(const std::wstring& ticket, const FromHandle& origin) override;
  // Cancels the queued commands and uploads, tells the service and signs
  // out at once: event 3, the record cleared, event 4.
  void UserLogout() override;
  void GetUserAccountByAccount();
  void SearchByNickAndProfile(const std::wstring& keyword, const std::wstring& page,
                              const std::wstring& page_size);
  void UpdateNickName(const std::wstring& nick_name) override;
  // Sends every entry of `fields` (name -> value) besides the session.
  void UpdateUserInfo(const std::map<std::wstring, std::wstring>& fields);
  void UpdateUserHeadImage(const std::wstring& image_url);
  void GetDataPrompt();

  // Local resets of the new-item counters; each fires its event (16, 13,
  // 14, 15) only when the counter was not 0. Return 0.
  int ResetMirrorBlogCount();
  int ResetAboutUserCount();
  int ResetMessageCount();
  int ResetFansCount();

  bool IsLoggedIn() const override { return !record_.SessionID.empty(); }
  const UserAccountRecord& record() const override { return record_; }
  // "Users/<account>" while signed in, else "Users/All Users"; below the
  // program folder or the screenshot store. The account part is always one
  // path component (see UserFolderName).
  std::wstring GetUserFolder() const override;
  int32_t new_mirror_blog_count() const override { return new_mirror_blog_count_; }
  int32_t new_about_user_count() const override { return new_about_user_count_; }
  int32_t new_message_count() const override { return new_message_count_; }
  int32_t new_fans_count() const override { return new_fans_count_; }

  void SetLoginTimeoutForTesting(uint32_t ms) { login_timeout_ms_ = ms; }

 private:
  using Reply = void (OBLogicWeb_User::*)(const JoberDescReturn_Web*);
  enum HeadImage { kSmall, kMid, kBig };

  // A command job, or null when its server is unknown.
  std::unique_ptr<JoberDesc_Web> NewCommand(const wchar_t* command, const FromHandle& origin,
                                            Reply reply);
  void Post(std::unique_ptr<JoberDesc_Web> job);

  // `account`: the one the sign-in was for.
  void OnUserLoginReply(const JoberDescReturn_Web* result, const std::wstring& account);
  void OnUserLoginByTicketReply(const JoberDescReturn_Web* result);
  // Takes a successful sign-in reply as the new user; false (nothing
  // changed) when the reply does not hold a readable account.
  bool AcceptLogin(const JoberDescReturn_Web* result, uint8_t by_ticket);
  void OnGetUserAccountReply(const JoberDescReturn_Web* result);
  void OnSearchReply(const JoberDescReturn_Web* result);
  void OnUpdateUserInfoReply(const JoberDescReturn_Web* result);
  void OnUpdateUserHeadImageReply(const JoberDescReturn_Web* result);
  void OnGetDataPromptReply(const JoberDescReturn_Web* result, uint64_t sign_in);
  void OnHeadImageDownloaded(const JoberDescReturn_Web* result, HeadImage which, uint64_t sign_in,
                             int round);

  void OnUserLogin(const EventParameter* event);
  void OnUserLoginByTicket(const EventParameter* event);
  void OnBeforeUserLogout(const EventParameter* event);
  void OnUserLogout(const EventParameter*) {}
  void CreateUserFolder();

  void DownloadHeadImages(const FromHandle& origin, std::wstring list);
  void SignOutLocally();
  void ClearUserState();
  void Unsubscribe();
  void MoveSharedShots();
  int ResetCounter(int32_t* counter, int32_t event_id);

  WebLogicManager* manager_ = nullptr;
  EventChain* chain_ = nullptr;  // where the subscriptions are
  UserAccountRecord record_;
  EventChain::Handle subscriptions_[4] = {};
  // Changes whenever the user state is cleared (every sign-in and
  // sign-out), so a late reply can tell that its sign-in is over.
  uint64_t sign_in_ = 0;
  // The latest head-image round; only its downloads are taken.
  int head_image_round_ = -1;
  int32_t new_mirror_blog_count_ = 0;
  int32_t new_about_user_count_ = 0;
  int32_t new_message_count_ = 0;
  int32_t new_fans_count_ = 0;
  uint32_t login_timeout_ms_ = 60000;
};

#pragma once

#include <cstdint>
#include <string>

#include "client/core/event_parameter.h"
#include "client/core/user_account_record.h"

// How a sign-in treats its password. The same names hold from the window
// or the game that asks down to the request the web logic sends.
enum class LoginFlags : uint8_t {
  kNone = 0,
  // The password is the cipher the service handed out to be remembered,
  // not what the user typed.
  kCipher = 1 << 0,
  // The user wants the password remembered: the service is asked for a
  // cipher of it.
  kRememberPassword = 1 << 1,
};

constexpr LoginFlags operator|(LoginFlags a, LoginFlags b) {
  return static_cast<LoginFlags>(static_cast<uint8_t>(a) | static_cast<uint8_t>(b));
}

// Whether `flags` holds `flag`.
constexpr bool HasFlag(LoginFlags flags, LoginFlags flag) {
  return (static_cast<uint8_t>(flags) & static_cast<uint8_t>(flag)) != 0;
}

// The signed-in user of the web service and the user's own requests, as
// the windows and the game link see them. The web logic implements it;
// the replies come as events on the numbered chain. Signed in means: the
// record's SessionID is not empty. GUI thread only.
class IWebUser {
 public:
  virtual ~IWebUser() = default;

  virtual void UserLogin(const std::wstring& account, const std::wstring& password,
                         const FromHandle& origin, LoginFlags flags) = 0;
  virtual void UserLoginByTicket(const std::wstring& ticket, const FromHandle& origin) = 0;
  virtual void UserLogout() = 0;
  virtual void UpdateNickName(const std::wstring& nick_name) = 0;

  virtual bool IsLoggedIn() const = 0;
  virtual const UserAccountRecord& record() const = 0;
  // "Users/<account>" while signed in, else "Users/All Users".
  virtual std::wstring GetUserFolder() const = 0;
  // The new-item counters: new mirror-blog, new about-user blog, new
  // message, new fans.
  virtual int32_t new_mirror_blog_count() const = 0;
  virtual int32_t new_about_user_count() const = 0;
  virtual int32_t new_message_count() const = 0;
  virtual int32_t new_fans_count() const = 0;
};

// No web logic attached: nobody is signed in and requests go nowhere.
class SignedOutWebUser : public IWebUser {
 public:
  void UserLogin(const std::wstring&, const std::wstring&, const FromHandle&, LoginFlags) override {
  }
  void UserLoginByTicket(const std::wstring&, const FromHandle&) override {}
  void UserLogout() override {}
  void UpdateNickName(const std::wstring&) override {}
  bool IsLoggedIn() const override { return false; }
  const UserAccountRecord& record() const override { return record_; }
  std::wstring GetUserFolder() const override { return L"Users/All Users"; }
  int32_t new_mirror_blog_count() const override { return 0; }
  int32_t new_about_user_count() const override { return 0; }
  int32_t new_message_count() const override { return 0; }
  int32_t new_fans_count() const override { return 0; }

 private:
  UserAccountRecord record_;
};

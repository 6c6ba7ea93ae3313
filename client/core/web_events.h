#pragma once

#include <cstdint>
#include <string>

#include "client/core/event_ids.h"
#include "client/core/event_parameter.h"

// Payloads of the web replies, fired on the numbered event chain on the
// main thread. As the core's payloads, they live in namespace `payload`
// because each carries the name of its event id:
//
//   void OnLogin(const EventParameter* p) {
//     auto* login = static_cast<const payload::SEVENT_RESPONSE_UserLogin*>(p);
//     if (login->ok) ...
//   }
//
// `param` (from EVENT_DATA_STRINGPARAM1) is the whole reply text; `text`
// is the reply's Data or, on failure, the server's Message or the
// unknown-error text. Every flag is 0 or 1.
namespace payload {

// A reply that carries only its success.
template <int32_t Id>
struct WebReplyOk : EVENT_DATA_STRINGPARAM1 {
  WebReplyOk(const FromHandle& from, std::wstring reply, bool ok_flag)
      : EVENT_DATA_STRINGPARAM1(Id, from, std::move(reply)), ok(ok_flag ? 1 : 0) {}
  uint8_t ok;
};

// A reply that carries its success and its text.
template <int32_t Id>
struct WebReplyOkText : EVENT_DATA_STRINGPARAM1 {
  WebReplyOkText(const FromHandle& from, std::wstring reply, bool ok_flag, std::wstring text_value)
      : EVENT_DATA_STRINGPARAM1(Id, from, std::move(reply)),
        ok(ok_flag ? 1 : 0),
        text(std::move(text_value)) {}
  uint8_t ok;
  std::wstring text;
};

// A sign-in reply (0 with a password, 1 with a ticket); both carry the
// origin of the sign-in request. On success `text` is the Account, on
// failure the error text. `rejected`: the service refused the sign-in, as
// opposed to a failed exchange or an unreadable reply (remembered
// credentials are cleared only then).
template <int32_t Id>
struct WebLoginReply : WebReplyOkText<Id> {
  WebLoginReply(const FromHandle& from, std::wstring reply, bool ok_flag, std::wstring text_value,
                bool was_rejected)
      : WebReplyOkText<Id>(from, std::move(reply), ok_flag, std::move(text_value)),
        rejected(was_rejected ? 1 : 0) {}
  uint8_t rejected;
};

using SEVENT_RESPONSE_UserLogin = WebLoginReply<::SEVENT_RESPONSE_UserLogin>;
using SEVENT_RESPONSE_UserLoginByTicket = WebLoginReply<::SEVENT_RESPONSE_UserLoginByTicket>;

// Around the clearing of the signed-in user: 3 while the session still
// exists, 4 once it is gone. Origin {0, 0}, empty text.
struct SEVENT_RESPONSE_BeforeUserLogout : EVENT_DATA_STRINGPARAM1 {
  SEVENT_RESPONSE_BeforeUserLogout()
      : EVENT_DATA_STRINGPARAM1(::SEVENT_RESPONSE_BeforeUserLogout, {}, L"") {}
};
struct SEVENT_RESPONSE_UserLogout : EVENT_DATA_STRINGPARAM1 {
  SEVENT_RESPONSE_UserLogout() : EVENT_DATA_STRINGPARAM1(::SEVENT_RESPONSE_UserLogout, {}, L"") {}
};

using SEVENT_RESPONSE_GetUserAccountByAccount =
    WebReplyOkText<::SEVENT_RESPONSE_GetUserAccountByAccount>;
using SEVENT_RESPONSE_SearchByNickAndProfile =
    WebReplyOkText<::SEVENT_RESPONSE_SearchByNickAndProfile>;
// Also fired, with origin {0, 0} and the address as `param`, for every
// finished head-image download.
using SEVENT_RESPONSE_UpdateUserInfo = WebReplyOk<::SEVENT_RESPONSE_UpdateUserInfo>;
using SEVENT_RESPONSE_UpdateUserHeadImage = WebReplyOk<::SEVENT_RESPONSE_UpdateUserHeadImage>;

// The new-item counters changed; they are read from the user object.
struct SEVENT_RESPONSE_GetDataPrompt : EVENT_DATA_STRINGPARAM1 {
  SEVENT_RESPONSE_GetDataPrompt(const FromHandle& from, std::wstring reply)
      : EVENT_DATA_STRINGPARAM1(::SEVENT_RESPONSE_GetDataPrompt, from, std::move(reply)) {}
};

// A new-item counter was reset locally; origin {0, 0}.
template <int32_t Id>
struct WebCounterReset : EVENT_DATA {
  WebCounterReset() : EVENT_DATA(Id, {}) {}
};
using SEVENT_RESPONSE_ResetAboutUserCount = WebCounterReset<::SEVENT_RESPONSE_ResetAboutUserCount>;
using SEVENT_RESPONSE_ResetMessageCount = WebCounterReset<::SEVENT_RESPONSE_ResetMessageCount>;
using SEVENT_RESPONSE_ResetFansCount = WebCounterReset<::SEVENT_RESPONSE_ResetFansCount>;
using SEVENT_RESPONSE_ResetMirrorBlogCount =
    WebCounterReset<::SEVENT_RESPONSE_ResetMirrorBlogCount>;

using SEVENT_RESPONSE_AddFollowList = WebReplyOk<::SEVENT_RESPONSE_AddFollowList>;

// The blog image upload: `local_file` is the file sent, `text` on success
// the stored image's address. `kind` (1) and `percent` (100) are constants
// nobody reads.
struct SEVENT_RESPONSE_Upload : EVENT_DATA_STRINGPARAM1 {
  SEVENT_RESPONSE_Upload(const FromHandle& from, std::wstring reply, bool ok_flag,
                         std::wstring file, std::wstring text_value)
      : EVENT_DATA_STRINGPARAM1(::SEVENT_RESPONSE_Upload, from, std::move(reply)),
        ok(ok_flag ? 1 : 0),
        local_file(std::move(file)),
        text(std::move(text_value)) {}
  uint8_t kind = 1;
  uint8_t ok;
  int32_t percent = 100;
  std::wstring local_file;
  std::wstring text;
};

using SEVENT_RESPONSE_Addblog = WebReplyOk<::SEVENT_RESPONSE_Addblog>;
using SEVENT_RESPONSE_GetWYGameUserFriend = WebReplyOkText<::SEVENT_RESPONSE_GetWYGameUserFriend>;

// A game file download finished.
struct SEVENT_RESPONSE_GameDownloadFile : EVENT_DATA {
  SEVENT_RESPONSE_GameDownloadFile(const FromHandle& from, bool ok_flag, std::wstring address,
                                   std::wstring file)
      : EVENT_DATA(::SEVENT_RESPONSE_GameDownloadFile, from),
        ok(ok_flag ? 1 : 0),
        url(std::move(address)),
        local_file(std::move(file)) {}
  int32_t ok;
  std::wstring url;
  std::wstring local_file;
};

using SEVENT_RESPONSE_GetGameUserProfileList =
    WebReplyOkText<::SEVENT_RESPONSE_GetGameUserProfileList>;
using SEVENT_RESPONSE_GetServerDateTime = WebReplyOkText<::SEVENT_RESPONSE_GetServerDateTime>;
using SEVENT_RESPONSE_GetCurrentUserQtidByEncrypt =
    WebReplyOkText<::SEVENT_RESPONSE_GetCurrentUserQtidByEncrypt>;

// A server configuration was read; the command-to-server table changed.
struct SEVENT_RESPONSE_DownloadServerConfig : EventParameter {
  SEVENT_RESPONSE_DownloadServerConfig() : EventParameter(::SEVENT_RESPONSE_DownloadServerConfig) {}
};

using SEVENT_RESPONSE_RecommendedAdd = WebReplyOk<::SEVENT_RESPONSE_RecommendedAdd>;

}  // namespace payload

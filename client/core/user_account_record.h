#pragma once

#include <cstdint>
#include <string>

// The signed-in user as the web service describes it. Signed in means:
// SessionID is not empty.
struct UserAccountRecord {
  uint8_t logged_in_by_ticket = 0;
  std::wstring BindBlogIds;
  std::wstring SessionID;
  std::wstring CipherPassword;
  std::wstring UserAccountId;
  std::wstring Account;
  std::wstring TGNickName;
  std::wstring DisplayRoleId;
  std::wstring DisplayRoleName;
  std::wstring NickName;
  // The server's "small,mid,big" address list until the downloads start;
  // then empty, and after a successful big-image download its local file.
  std::wstring HeadImageUrl;
  std::wstring mid_head_image_path;
  std::wstring small_head_image_path;
  int32_t BlogCount = 0;
  int32_t FollowCount = 0;
  int32_t FollowByOtherCount = 0;
  std::wstring Email;
  std::wstring Mood;
  bool IsCertificated = false;
  std::wstring RegisterTime;
  std::wstring RegisterIP;
  std::wstring LastLoginTime;
  std::wstring LastLoginIP;
  std::wstring Birthday;
  std::wstring Province;
  std::wstring City;
  std::wstring Status;
  std::wstring RegFrom;
  bool IsSetRelevanceUser = false;
  int32_t OnlineTimeHours = 0;
  std::wstring LastOnlineTimeStatDate;
  std::wstring PrivateDomain;
};

// Reads the Data of a sign-in reply (a JSON object, or a text holding
// one) into `record`: the session fields at the top, the account below
// "UserAccount". Missing keys give empty texts, 0 and false. False when
// the text is not JSON.
bool ParseLoginReply(const std::wstring& text, UserAccountRecord* record);

// Reads a bare account object (the "UserAccount" keys at the top level)
// into the account fields of `record`. False when the text is not JSON.
bool ParseUserAccount(const std::wstring& text, UserAccountRecord* record);

// Flags arrive as numbers (1/0) or numeric texts; a JSON true/false is
// taken for what it says rather than as the number 0.
bool ParseReplyFlag(const std::string& value);

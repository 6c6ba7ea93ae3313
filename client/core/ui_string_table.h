#pragma once

// The texts that the core and the windows show in message boxes, titles
// and default post texts, in Chinese or English by the system's language.
//
// Built once on the GUI thread before any other thread starts, destroyed
// after everything else has stopped; lookups in between may come from any
// thread.

inline constexpr char STRING_OMBRIX[] = "STRING_OMBRIX";
inline constexpr char STRING_LOGIN_STATE_OFFLINE[] = "STRING_LOGIN_STATE_OFFLINE";
inline constexpr char STRING_LOGIN_STATE_ONLINE[] = "STRING_LOGIN_STATE_ONLINE";
inline constexpr char STRING_LOGIN_STATE_LOGIN[] = "STRING_LOGIN_STATE_LOGIN";
inline constexpr char STRING_LOGIN_STATE_LOGINING[] = "STRING_LOGIN_STATE_LOGINING";
inline constexpr char STRING_LOGIN_STATE_LOGINFAIL[] = "STRING_LOGIN_STATE_LOGINFAIL";
inline constexpr char STRING_MESSAGE_TIP[] = "STRING_MESSAGE_TIP";
inline constexpr char STRING_MESSAGE_WARN[] = "STRING_MESSAGE_WARN";
inline constexpr char STRING_MESSAGE_ERROR[] = "STRING_MESSAGE_ERROR";
inline constexpr char STRING_MESSAGE_NONEEDFONT[] = "STRING_MESSAGE_NONEEDFONT";
inline constexpr char STRING_MESSAGE_OMBRIXISRUNNING[] = "STRING_MESSAGE_OMBRIXISRUNNING";
inline constexpr char STRING_POSTBLOG_ME[] = "STRING_POSTBLOG_ME";
inline constexpr char STRING_POSTBLOG_SHOTANDSHARE[] = "STRING_POSTBLOG_SHOTANDSHARE";

class UIStringTable {
 public:
  // Fills the table for the system's default language id.
  static void Build();
  // Chinese for 1028, 2052, 3076 and 4100; English for every other id.
  static void Build(unsigned language_id);
  static void Destroy();

  // The text of `key`; null when the table is not built or has no such key.
  // Valid until Destroy().
  static const wchar_t* GetString(const char* key);

  static bool IsChineseLanguage(unsigned language_id);
};

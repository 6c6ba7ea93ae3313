#pragma once

#include <string>

namespace brx::platform {

// The system's default language id, from LC_ALL, then LC_MESSAGES, then
// LANG: zh_TW 1028, zh_CN 2052, zh_HK 3076, zh_SG 4100, anything else 1033.
unsigned SystemLanguageId();
// The id a locale name maps to (exposed for tests).
unsigned LanguageIdFromLocale(const std::string& locale);

// Whether a font covering Simplified Chinese is installed (fontconfig).
// $OMBRIX_FONT_CHECK set to "present" or "absent" overrides the answer, so
// tests can play a machine without the fonts.
bool HasChineseFont();

// The first non-loopback network interface's hardware address as
// "XX-XX-XX-XX-XX-XX"; false when there is none.
bool QueryAdapterAddress(std::string* address);

}  // namespace brx::platform

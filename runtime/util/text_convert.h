#pragma once

#include <string>

namespace brx::util {

// The program's text is std::wstring (UTF-32 on Linux). "ANSI" is the code
// page of the system's own files and peers, GBK (code page 936), written as
// GB18030: the same bytes for every character GBK has, and four-byte codes
// for the rest (an accented letter in a folder name), which GBK would lose.
// Input that cannot be decoded becomes U+FFFD; no conversion ever fails or
// throws.

std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
// ANSI -> wide -> UTF-8 bytes, each byte widened again through ANSI: a wide
// string that carries the UTF-8 encoding. Equals a plain widening on ASCII.
std::wstring AnsiToUtf8Wide(const std::string& text);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// values above U+10FFFF, no sequence cut short).
bool IsValidUtf8(const std::string& text);

// UTF-16 for the wire and binary files; surrogate pairs both ways, a lone
// surrogate becomes U+FFFD.
std::u16string WideToUtf16(const std::wstring& text);
std::wstring Utf16ToWide(const std::u16string& text);

}  // namespace brx::util

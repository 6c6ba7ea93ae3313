#pragma once

#include <string>

namespace brx::util {

// The folder of a loaded module, without a trailing separator: the program
// itself for null, else the first mapped file whose base name is `module`.
// Empty when the module is not loaded.
std::wstring GetModuleDirectory(const char* module);

// The program's own file name ("OBHost.exe").
std::wstring GetModuleFileBaseName();

// 32 lowercase hexadecimal digits of 16 random bytes.
void NewGuidString(std::string* out);

}  // namespace brx::util

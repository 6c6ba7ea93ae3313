#pragma once

#include <cstdint>
#include <string>

namespace brx::platform {

enum class Hive { kClassesRoot, kCurrentUser, kLocalMachine, kUsers };

// The registry as a file per hive (<registry dir>/HKCU.xml ...). Keys are
// backslash-separated and compared without regard to ASCII case; values
// are typed REG_SZ or REG_DWORD; text is UTF-8. Every write is a
// read-modify-write under an exclusive flock, written to a temporary file,
// synced and renamed over the hive, so two programs writing at once lose
// nothing and a crash never leaves half a file. All functions are
// thread-safe and report failure by their result.
//
// The autostart value "Ombrix" under ...\CurrentVersion\Run is mirrored to
// the XDG autostart folder as Ombrix.desktop, so that starting with the
// system works on a Linux desktop.
namespace registry {

bool ReadString(Hive hive, const std::string& key, const std::string& name, std::string* value);
bool ReadDword(Hive hive, const std::string& key, const std::string& name, uint32_t* value);
// Create the key and its parents when missing.
bool WriteString(Hive hive, const std::string& key, const std::string& name,
                 const std::string& value);
bool WriteDword(Hive hive, const std::string& key, const std::string& name, uint32_t value);
// False when the value did not exist.
bool DeleteValue(Hive hive, const std::string& key, const std::string& name);
// Deletes the key with everything below it; false when it did not exist.
bool DeleteKey(Hive hive, const std::string& key);
bool KeyExists(Hive hive, const std::string& key);

// The file that holds a hive.
std::string HiveFilePath(Hive hive);

}  // namespace registry
}  // namespace brx::platform

#include "runtime/util/registry.h"

#include "runtime/util/text_convert.h"

namespace brx::util {

const wchar_t kAutoStartKey[] =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace {

constexpr wchar_t kAutoStartName[] = L"Ombrix";
// The value is read into a 1024-byte buffer that always ends in a NUL.
constexpr size_t kAutoStartMaxUnits = 511;

struct Split {
  platform::Hive hive;
  std::string sub_key;
};

bool SplitUtf8(const std::wstring& path, Split* out) {
  std::wstring sub;
  if (!SplitRegistryPath(path, &out->hive, &sub)) return false;
  out->sub_key = WideToUtf8(sub);
  return true;
}

}  // namespace

bool SplitRegistryPath(const std::wstring& path, platform::Hive* root, std::wstring* sub_key) {
  static const struct {
    const wchar_t* name;
    platform::Hive hive;
  } kRoots[] = {
      {L"HKEY_CLASSES_ROOT", platform::Hive::kClassesRoot},
      {L"HKEY_CURRENT_USER", platform::Hive::kCurrentUser},
      {L"HKEY_LOCAL_MACHINE", platform::Hive::kLocalMachine},
      {L"HKEY_USERS", platform::Hive::kUsers},
  };
  sub_key->clear();
  for (const auto& r : kRoots) {
    std::wstring prefix = std::wstring(r.name) + L"\\";
    if (path.compare(0, prefix.size(), prefix) == 0) {
      *root = r.hive;
      *sub_key = path.substr(prefix.size());
      return true;
    }
  }
  return false;
}

bool ReadRegistryString(const std::wstring& key_path, const std::wstring& value_name,
                        std::wstring* value) {
  Split s;
  std::string text;
  if (!SplitUtf8(key_path, &s) ||
      !platform::registry::ReadString(s.hive, s.sub_key, WideToUtf8(value_name), &text))
    return false;
  *value = Utf8ToWide(text);
  return true;
}

bool ReadRegistryDword(const std::wstring& key_path, const std::wstring& value_name,
                       uint32_t* value) {
  Split s;
  return SplitUtf8(key_path, &s) &&
         platform::registry::ReadDword(s.hive, s.sub_key, WideToUtf8(value_name), value);
}

bool ReadAutoStartValue(std::wstring* value) {
  std::wstring text;
  if (!ReadRegistryString(kAutoStartKey, kAutoStartName, &text)) return false;
  if (WideToUtf16(text).size() > kAutoStartMaxUnits)
    text = Utf16ToWide(WideToUtf16(text).substr(0, kAutoStartMaxUnits));
  *value = text;
  return true;
}

bool DeleteAutoStartValue() {
  Split s;
  return SplitUtf8(kAutoStartKey, &s) &&
         platform::registry::DeleteValue(s.hive, s.sub_key, WideToUtf8(kAutoStartName));
}

bool ReadLaunchingWithGame(const std::wstring& key_path, uint32_t* value) {
  return ReadRegistryDword(key_path, L"LaunchingWithGame", value);
}

bool WriteRegistryString(const std::wstring& key_path, const std::wstring& value,
                         const std::wstring& value_name) {
  Split s;
  return SplitUtf8(key_path, &s) &&
         platform::registry::WriteString(s.hive, s.sub_key, WideToUtf8(value_name),
                                         WideToUtf8(value));
}

void WriteRegistryDword(uint32_t value, const std::wstring& key_path,
                        const std::wstring& value_name) {
  Split s;
  if (SplitUtf8(key_path, &s))
    platform::registry::WriteDword(s.hive, s.sub_key, WideToUtf8(value_name), value);
}

}  // namespace brx::util

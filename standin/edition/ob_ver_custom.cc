// Stand-in for the outside edition library. Its values come from
// OBVerCustom.ini beside the library ("Name=value" lines; ';' starts a
// comment), else from the values built in. Loaded with dlopen by every
// program; the strings live as long as the library.

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

namespace {

struct Values {
  std::wstring game_id = L"other";
  std::wstring key = L"OB-DEMO";
  std::wstring key_desc = L"Ombrix demo edition";
  std::wstring version = OMBRIX_EDITION_VERSION;
  std::wstring global_config = L"http://127.0.0.1:18080/";
  int install_hook = 0;
};

std::wstring Widen(const std::string& utf8) {
  std::wstring out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
    wchar_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (int j = 1; j < len && i + j < utf8.size(); ++j) c = (c << 6) | (utf8[i + j] & 0x3F);
    out += c;
    i += len;
  }
  return out;
}

std::string IniPath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&IniPath), &info) || !info.dli_fname) return "";
  std::string self = info.dli_fname;
  size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) +
         "/OBVerCustom.ini";
}

const Values& Get() {
  static Values values;
  static std::once_flag once;
  std::call_once(once, [] {
    std::ifstream in(IniPath());
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == ';') continue;
      size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string name = line.substr(0, eq);
      std::wstring value = Widen(line.substr(eq + 1));
      if (name == "GameId")
        values.game_id = value;
      else if (name == "Key")
        values.key = value;
      else if (name == "KeyDesc")
        values.key_desc = value;
      else if (name == "Version")
        values.version = value;
      else if (name == "GlobalConfig")
        values.global_config = value;
      else if (name == "InstallHook")
        values.install_hook = value == L"1" ? 1 : 0;
    }
  });
  return values;
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) const wchar_t* GetGameId() { return Get().game_id.c_str(); }
__attribute__((visibility("default"))) const wchar_t* GetKey() { return Get().key.c_str(); }
__attribute__((visibility("default"))) const wchar_t* GetKeyDesc() {
  return Get().key_desc.c_str();
}
__attribute__((visibility("default"))) const wchar_t* GetCurrentVersion() {
  return Get().version.c_str();
}
__attribute__((visibility("default"))) const wchar_t* GetGlobalConfig() {
  return Get().global_config.c_str();
}
__attribute__((visibility("default"))) int GetInstallHook() { return Get().install_hook; }
}

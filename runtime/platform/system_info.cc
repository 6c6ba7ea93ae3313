#include "runtime/platform/system_info.h"

#include <dirent.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace brx::platform {

unsigned LanguageIdFromLocale(const std::string& locale) {
  // "zh_CN.UTF-8@x" -> "zh_CN"
  std::string name = locale.substr(0, locale.find_first_of(".@"));
  if (name == "zh_TW") return 1028;
  if (name == "zh_CN") return 2052;
  if (name == "zh_HK") return 3076;
  if (name == "zh_SG") return 4100;
  return 1033;
}

unsigned SystemLanguageId() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = getenv(var);
    if (v && *v) return LanguageIdFromLocale(v);
  }
  return 1033;
}

bool HasChineseFont() {
  if (const char* forced = getenv("OMBRIX_FONT_CHECK")) {
    std::string f = forced;
    if (f == "present") return true;
    if (f == "absent") return false;
  }
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (!config) return false;
  FcPattern* pattern = FcPatternCreate();
  FcLangSet* langs = FcLangSetCreate();
  FcLangSetAdd(langs, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcPatternAddLangSet(pattern, FC_LANG, langs);
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(config, pattern, objects);
  bool found = fonts && fonts->nfont > 0;
  if (fonts) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcLangSetDestroy(langs);
  FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  return found;
}

bool QueryAdapterAddress(std::string* address) {
  address->clear();
  DIR* dir = opendir("/sys/class/net");
  if (!dir) return false;
  // Interfaces in index order, so the answer is stable across calls.
  std::vector<std::pair<int, std::string>> interfaces;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == ".." || name == "lo") continue;
    std::ifstream index("/sys/class/net/" + name + "/ifindex");
    int i = 0;
    if (index >> i) interfaces.emplace_back(i, name);
  }
  closedir(dir);
  std::sort(interfaces.begin(), interfaces.end());
  for (const auto& [index, name] : interfaces) {
    std::ifstream in("/sys/class/net/" + name + "/address");
    std::string mac;
    if (!(in >> mac) || mac.size() != 17 || mac == "00:00:00:00:00:00") continue;
    for (char& c : mac) {
      if (c == ':')
        c = '-';
      else if (c >= 'a' && c <= 'f')
        c = static_cast<char>(c - 'a' + 'A');
    }
    *address = mac;
    return true;
  }
  return false;
}

}  // namespace brx::platform

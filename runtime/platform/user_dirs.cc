#include "runtime/platform/user_dirs.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "runtime/platform/dirs.h"

namespace brx::platform {

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ConfigHome() {
  const char* config = getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') return config;
  return HomeDirectory() + "/.config";
}

// The value of XDG_<name>_DIR in user-dirs.dirs, "$HOME" expanded; empty
// when the file or the entry is missing.
std::string ReadUserDirsEntry(const std::string& name) {
  std::ifstream in(ConfigHome() + "/user-dirs.dirs");
  std::string wanted = "XDG_" + name + "_DIR=";
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, wanted.size(), wanted) != 0) continue;
    std::string value = line.substr(wanted.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) value = HomeDirectory() + value.substr(5);
    return value;
  }
  return "";
}

std::string UsualName(const std::string& name) {
  if (name.empty()) return name;
  std::string out = name.substr(0, 1);
  for (size_t i = 1; i < name.size(); ++i)
    out += static_cast<char>(tolower(static_cast<unsigned char>(name[i])));
  return out;
}

}  // namespace

std::string XdgUserDirectory(const std::string& name) {
  std::string configured = ReadUserDirsEntry(name);
  if (IsFolder(configured)) return configured;
  std::string usual = HomeDirectory() + "/" + UsualName(name);
  return IsFolder(usual) ? usual : "";
}

}  // namespace brx::platform

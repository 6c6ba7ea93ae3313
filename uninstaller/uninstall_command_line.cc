#include "uninstaller/uninstall_command_line.h"

std::vector<std::string> UninstallCopyArguments(const std::string& key, const std::string& folder) {
  std::string bare = folder;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  return {kUninstallSwitch, "\"" + key + "\"", "\"" + bare + "\""};
}

std::string JoinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

bool ParseUninstallCommandLine(const std::string& command_line, std::string* key,
                               std::string* folder) {
  size_t first = command_line.find('"');
  size_t last = command_line.rfind('"');
  if (first == std::string::npos || last <= first + 1) return false;
  std::string inner = command_line.substr(first + 1, last - first - 1);
  size_t inner_first = inner.find('"');
  size_t inner_last = inner.rfind('"');
  if (inner_first == std::string::npos) return false;
  *key = inner.substr(0, inner_first);
  *folder = inner.substr(inner_last + 1);
  return !key->empty() && !folder->empty();
}

#include "runtime/util/module_path.h"

#include <sys/random.h>

#include <fstream>

#include "runtime/platform/dirs.h"
#include "runtime/util/text_convert.h"

namespace brx::util {

namespace {

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string FindMappedModule(const std::string& name) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    std::string path = line.substr(slash);
    size_t base = path.rfind('/');
    if (path.compare(base + 1, std::string::npos, name) == 0) return path;
  }
  return "";
}

}  // namespace

std::wstring GetModuleDirectory(const char* module) {
  std::string path = module ? FindMappedModule(module) : platform::ExecutablePath();
  return Utf8ToWide(DirectoryOf(path));
}

std::wstring GetModuleFileBaseName() {
  std::string path = platform::ExecutablePath();
  return Utf8ToWide(path.substr(path.rfind('/') + 1));
}

void NewGuidString(std::string* out) {
  unsigned char bytes[16] = {};
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
  }
  static const char kDigits[] = "0123456789abcdef";
  for (unsigned char b : bytes) {
    *out += kDigits[b >> 4];
    *out += kDigits[b & 15];
  }
}

}  // namespace brx::util

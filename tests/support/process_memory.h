#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace ombrix::test {

// This process's resident memory now, in bytes; 0 when it cannot be read.
inline size_t ResidentBytes() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  unsigned long size = 0, resident = 0;
  const int read = std::fscanf(f, "%lu %lu", &size, &resident);
  std::fclose(f);
  return read == 2 ? resident * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// The most resident memory this process ever had, in bytes; 0 when it
// cannot be read.
inline size_t PeakResidentBytes() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  size_t kib = 0;
  while (std::fgets(line, sizeof(line), f) != nullptr) {
    if (std::strncmp(line, "VmHWM:", 6) == 0) {
      kib = std::stoul(line + 6);
      break;
    }
  }
  std::fclose(f);
  return kib * 1024;
}

}  // namespace ombrix::test

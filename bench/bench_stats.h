#pragma once

// What the benchmarks share to make their figures readable on a busy
// machine: the median of a series of runs, and the load they ran under.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// The middle value (the upper one of an even count); -1 for no runs, which
// no figure takes.
inline double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The value below which `pct` percent of a sorted, non-empty series lie
// (the nearest rank; the largest for 100).
inline double Percentile(const std::vector<double>& sorted, size_t pct) {
  return sorted[std::min(sorted.size() - 1, sorted.size() * pct / 100)];
}

// The three load averages of /proc/loadavg ("1.20 0.95 0.80"), or "?".
inline std::string LoadAverage() {
  char text[128] = "?";
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fgets(text, sizeof(text), f) == nullptr) text[0] = '\0';
    std::fclose(f);
  }
  std::string s = text;
  for (int field = 0, i = 0; i < static_cast<int>(s.size()); ++i) {
    if (s[i] == ' ' && ++field == 3) return s.substr(0, i);
  }
  return s;
}

}  // namespace bench

#pragma once

// What the benchmarks that start other programs share: starting one with
// its output in a file, and reading a file whole.
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// Starts `args` (found on the PATH) with standard output and error in
// `out`; the pid, or -1.
inline pid_t Spawn(std::vector<std::string> args, const std::string& out) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace bench

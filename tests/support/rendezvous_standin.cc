#include "tests/support/rendezvous_standin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

extern char** environ;

namespace ombrix::test {

RendezvousStandin::RendezvousStandin() : RendezvousStandin(Options()) {}

RendezvousStandin::RendezvousStandin(Options options)
    : options_(std::move(options)), dir_(std::make_unique<TempDir>()) {
  std::string script = SourceDir() + "/standin/rendezvous/rendezvous.py";
  std::string ready = dir_->Sub("ready.json");
  std::vector<std::string> args =
      InNetns(options_.netns, {"python3", script, "--host", options_.host, "--ready-file", ready,
                               "--record", dir_->Sub("record.jsonl")});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    pid_ = -1;
    return;
  }
  if (!WaitUntil([&] { return PathExists(ready); }, std::chrono::seconds(30))) return;
  unsigned ice = 0, stun = 0, control = 0;
  if (sscanf(ReadFile(ready).c_str(), "{\"ice\": %u, \"stun\": %u, \"control\": %u}", &ice, &stun,
             &control) != 3) {
    return;
  }
  stun_port_ = static_cast<uint16_t>(stun);
  control_port_ = static_cast<uint16_t>(control);
  ice_port_ = static_cast<uint16_t>(ice);
}

RendezvousStandin::~RendezvousStandin() {
  if (control_ >= 0) close(control_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

std::string RendezvousStandin::Control(const std::string& command) {
  if (control_ < 0) {
    control_ = SocketInNetns(options_.netns, AF_INET, SOCK_STREAM | SOCK_CLOEXEC);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(control_port_);
    inet_pton(AF_INET, options_.host.c_str(), &address.sin_addr);
    if (control_ < 0 ||
        connect(control_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      if (control_ >= 0) close(control_);
      control_ = -1;
      return {};
    }
  }
  std::string line = command + "\n";
  std::string answer;
  if (send(control_, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(control_timeout_ms_);
    for (;;) {
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
              .count();
      pollfd p{control_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) != 1) break;
      char c;
      if (recv(control_, &c, 1, 0) != 1) break;
      if (c == '\n') return answer;
      answer += c;
    }
  }
  // A late answer would be taken for the next command's: start afresh.
  close(control_);
  control_ = -1;
  return {};
}

}  // namespace ombrix::test

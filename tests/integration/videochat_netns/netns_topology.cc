#include "tests/integration/videochat_netns/netns_topology.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "tests/support/test_support.h"

extern char** environ;

namespace ombrix::test {
namespace {

constexpr const char* kPrefix = "obxv";

}  // namespace

NetnsTopology::NetnsTopology(Nat nat) : prefix_(kPrefix + std::to_string(getpid())) {
  ip_ = FindProgram("ip");
  iptables_ = FindProgram("iptables");
  if (ip_.empty()) {
    unavailable_ = "the ip program is missing";
    return;
  }
  if (iptables_.empty()) {
    unavailable_ = "iptables is not installed (scripts/install-deps.sh installs it)";
    return;
  }
  RemoveStale();
  if (!AddNamespace(pub())) {
    unavailable_ =
        "network namespaces cannot be made here (root or CAP_NET_ADMIN is needed): " + error_;
    error_.clear();
    return;
  }
  if (!Build(nat) && error_.empty()) error_ = "the network could not be built";
}

NetnsTopology::~NetnsTopology() {
  // Deleting a namespace takes its veth ends, and so the pairs, with it.
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) Run({ip_, "netns", "delete", *it});
}

void NetnsTopology::RemoveStale() {
  // Namespaces of an earlier run that was killed before it could clean up:
  // ours by name, and their process is gone.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/run/netns", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    const pid_t pid =
        static_cast<pid_t>(std::atol(name.c_str() + std::char_traits<char>::length(kPrefix)));
    if (pid <= 0 || (kill(pid, 0) == 0 || errno != ESRCH)) continue;
    const std::string ip = FindProgram("ip");
    pid_t child;
    std::vector<std::string> args = {ip, "netns", "delete", name};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&child, ip.c_str(), nullptr, nullptr, argv.data(), environ) == 0)
      waitpid(child, nullptr, 0);
  }
}

bool NetnsTopology::Run(const std::vector<std::string>& args) {
  TempDir dir;
  const std::string out = dir.Sub("out");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  int status = -1;
  const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (spawned) waitpid(pid, &status, 0);
  if (spawned && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  if (error_.empty()) {
    std::string command;
    for (const auto& a : args) command += (command.empty() ? "" : " ") + a;
    error_ = command + ": " + ReadFile(out);
  }
  return false;
}

bool NetnsTopology::In(const std::string& ns, std::vector<std::string> argv) {
  return Run(InNetns(ns, std::move(argv)));
}

bool NetnsTopology::AddNamespace(const std::string& ns) {
  if (!Run({ip_, "netns", "add", ns})) return false;
  made_.push_back(ns);
  return Run({ip_, "-n", ns, "link", "set", "lo", "up"});
}

bool NetnsTopology::Build(Nat nat) {
  const std::string p = prefix_;
  for (const char* role : {"natA", "natB", "hostA", "hostB"}) {
    if (!AddNamespace(p + role)) return false;
  }
  const std::string forward = "echo 1 > /proc/sys/net/ipv4/ip_forward";
  if (!In(pub(), {"/bin/sh", "-c", forward})) return false;
  bool first_rule = true;
  for (const auto& [side, n] : {std::pair<std::string, int>{"A", 1}, {"B", 2}}) {
    const std::string nat_ns = p + "nat" + side, host_ns = p + "host" + side;
    const std::string outer = p + "w" + side, pub_end = p + "o" + side;
    const std::string inner = p + "l" + side, host_end = p + "h" + side;
    const std::string public_net = "10.99." + std::to_string(n) + ".";
    const std::string private_net = "10." + std::to_string(10 + n) + ".0.";
    const bool built =
        Run({ip_, "link", "add", pub_end, "netns", pub(), "type", "veth", "peer", "name", outer,
             "netns", nat_ns}) &&
        Run({ip_, "-n", pub(), "addr", "add", public_net + "1/24", "dev", pub_end}) &&
        Run({ip_, "-n", pub(), "link", "set", pub_end, "up"}) &&
        Run({ip_, "-n", nat_ns, "addr", "add", public_net + "2/24", "dev", outer}) &&
        Run({ip_, "-n", nat_ns, "link", "set", outer, "up"}) &&
        Run({ip_, "-n", nat_ns, "route", "add", "default", "via", public_net + "1"}) &&
        Run({ip_, "link", "add", inner, "netns", nat_ns, "type", "veth", "peer", "name", host_end,
             "netns", host_ns}) &&
        Run({ip_, "-n", nat_ns, "addr", "add", private_net + "1/24", "dev", inner}) &&
        Run({ip_, "-n", nat_ns, "link", "set", inner, "up"}) &&
        Run({ip_, "-n", host_ns, "addr", "add", private_net + "2/24", "dev", host_end}) &&
        Run({ip_, "-n", host_ns, "link", "set", host_end, "up"}) &&
        Run({ip_, "-n", host_ns, "route", "add", "default", "via", private_net + "1"}) &&
        In(nat_ns, {"/bin/sh", "-c", forward});
    if (!built) return false;
    std::vector<std::string> masquerade = {"-t", "nat", "-A", "POSTROUTING",
                                           "-o", outer, "-j", "MASQUERADE"};
    if (nat == Nat::kPortShifting)
      masquerade.insert(masquerade.end(), {"-p", "udp", "--to-ports", "20000-20999"});
    if (nat == Nat::kPortRandomising) masquerade.push_back("--random-fully");
    auto iptables = [&](std::vector<std::string> rule) {
      rule.insert(rule.begin(), iptables_);
      return In(nat_ns, rule);
    };
    if (!iptables(masquerade)) {
      // Some kernels lack what the nft back end needs; the legacy one does.
      const std::string legacy = FindProgram("iptables-legacy");
      if (!first_rule || legacy.empty()) return false;
      error_.clear();
      iptables_ = legacy;
      if (!iptables(masquerade)) return false;
    }
    first_rule = false;
    // The rest (the clients' web and relay connections) as usual.
    if (nat == Nat::kPortShifting &&
        !iptables({"-t", "nat", "-A", "POSTROUTING", "-o", outer, "-j", "MASQUERADE"})) {
      return false;
    }
    // As a home router's firewall does: nothing unasked-for from outside
    // reaches the NAT itself. Without it, a peer's datagram that arrives
    // before this side's own first one leaves a tracked flow behind on the
    // NAT, and the NAT then gives this side's answer a different port.
    if (!iptables(
            {"-A", "INPUT", "-i", outer, "-m", "conntrack", "--ctstate", "NEW", "-j", "DROP"}))
      return false;
  }
  return true;
}

}  // namespace ombrix::test

#pragma once

#include <string>
#include <vector>

namespace ombrix::test {

// Two players' machines, each behind its own NAT, and a public network
// with the servers, made of network namespaces joined by veth pairs:
//
//   hostA 10.11.0.2 -- 10.11.0.1 natA 10.99.1.2 --+
//                                                 pub 10.99.1.1 (servers), 10.99.2.1
//   hostB 10.12.0.2 -- 10.12.0.1 natB 10.99.2.2 --+
//
// The NATs masquerade what leaves them towards pub. pub routes between the
// NATs and has no route to the private networks, so datagrams sent to a
// peer's private address go nowhere. Nothing is connected to this
// machine's own network. Everything is removed by the destructor.
class NetnsTopology {
 public:
  enum class Nat {
    kPortPreserving,   // a mapping keeps the private port when it is free
    kPortShifting,     // a mapping takes a port from 20000-20999, the same one
                       // for every destination of one private address
    kPortRandomising,  // every mapping gets a random port
  };
  static constexpr const char* kServerIp = "10.99.1.1";

  explicit NetnsTopology(Nat nat);
  ~NetnsTopology();
  NetnsTopology(const NetnsTopology&) = delete;
  NetnsTopology& operator=(const NetnsTopology&) = delete;

  // Why namespaces cannot be made here at all (no privilege, no ip or
  // iptables); empty when they can.
  const std::string& unavailable() const { return unavailable_; }
  // What went wrong once they could; empty when the whole network is up.
  const std::string& error() const { return error_; }
  bool ok() const { return unavailable_.empty() && error_.empty(); }

  std::string pub() const { return prefix_ + "pub"; }
  std::string host_a() const { return prefix_ + "hostA"; }
  std::string host_b() const { return prefix_ + "hostB"; }

 private:
  bool Run(const std::vector<std::string>& argv);
  bool In(const std::string& ns, std::vector<std::string> argv);
  bool AddNamespace(const std::string& ns);
  bool Build(Nat nat);
  static void RemoveStale();

  std::string prefix_;
  std::string ip_;
  std::string iptables_;
  std::vector<std::string> made_;
  std::string unavailable_;
  std::string error_;
};

}  // namespace ombrix::test

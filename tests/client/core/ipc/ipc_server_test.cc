#include "client/core/ipc/ipc_server.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ipc_test {
namespace {

using brx::io::ConnectionId;
using Bytes = std::vector<uint8_t>;

// IPCServer with its dispatch only: messages are pushed straight into its
// queue, as the pipe's read thread would.
class DispatchingServer : public IPCServer {
 public:
  ~DispatchingServer() override { Stop(); }
  void Queue(ConnectionId connection, const Bytes& bytes) {
    Push(connection, bytes.data(), static_cast<uint32_t>(bytes.size()));
  }

 protected:
  void OnConnect(ConnectionId, const std::wstring&) override {}
  void OnDisconnect(ConnectionId, int) override {}
  void NotifyBatch() override {}
};

TEST(IPCServerTest, HandlersOfAnIdRunInRegistrationOrderAndShortOrInvalidMessagesAreIgnored) {
  DispatchingServer server;
  std::vector<std::string> calls;
  auto record = [&](const std::string& name) {
    return [&calls, name](ConnectionId c, const uint8_t* m, uint32_t n) {
      calls.push_back(name + " c" + std::to_string(c) + " id" + std::to_string(m[0] | m[1] << 8) +
                      " n" + std::to_string(n));
    };
  };
  server.Register(5, record("first"));
  server.Register(6, record("other"));
  server.Register(5, record("second"));
  server.Register(5, record("third"));
  server.Register(0xFFFF, record("invalid"));
  server.Register(0, record("short"));
  server.Queue(1, {5, 0, 0});           // under 4 bytes: ignored
  server.Queue(2, {});                  // empty: ignored
  server.Queue(3, {0xFF, 0xFF, 0, 0});  // id 0xFFFF: ignored
  server.Queue(4, {5, 0, 0, 0});        // all three, in order
  server.Queue(0, {6, 0, 7, 7, 1, 2});  // flag not looked at; connection 0 kept too
  server.Queue(5, {9, 0, 0, 0});        // nobody's
  server.DispatchMessages();
  EXPECT_EQ(calls, (std::vector<std::string>{"first c4 id5 n4", "second c4 id5 n4",
                                             "third c4 id5 n4", "other c0 id6 n6"}));
}

TEST(IPCServerTest, HandlerWithoutATargetThrowsBadFunctionCall) {
  DispatchingServer server;
  int ran = 0;
  server.Register(5, [&](ConnectionId, const uint8_t*, uint32_t) { ++ran; });
  server.Register(5, IPCServer::Handler());
  server.Queue(1, {5, 0, 0, 0});
  EXPECT_THROW(server.DispatchMessages(), std::bad_function_call);
  EXPECT_EQ(ran, 1);  // the one before it ran
}

TEST(IPCServerTest, UnregisterAllLeavesNoHandler) {
  DispatchingServer server;
  int ran = 0;
  server.Register(5, [&](ConnectionId, const uint8_t*, uint32_t) { ++ran; });
  server.UnregisterAll();
  server.Queue(1, {5, 0, 0, 0});
  server.DispatchMessages();
  EXPECT_EQ(ran, 0);
}

}  // namespace
}  // namespace ipc_test

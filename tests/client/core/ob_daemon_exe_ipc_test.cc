#include "client/core/ob_daemon_exe_ipc.h"

#include <gtest/gtest.h>

#include "client/core/message_ids.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/io/ipc/ipc_service_client.h"
#include "runtime/platform/event.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;

// Plays the hook daemon's end.
class DaemonEnd : public brx::io::ipc::IPCServiceClient {
 public:
  ~DaemonEnd() override { Stop(); }

 protected:
  void OnConnect(int) override {}
  void OnDisconnect(int) override {}
  void NotifyBatch() override {}
  void OnMessage(const brx::io::QueuedMessage&) override {}
};

TEST(OBDaemonExeIPCTest, ConnectSetsTheEventLeavingQuitsAndTheNameIsNotServedAgain) {
  TempDir dir;
  ScopedEnv pipes("OMBRIX_PIPE_DIR", dir.Sub("pipes"));
  brx::base::ThreadMessageQueue gui;
  brx::platform::Event connected;
  OBDaemonExeIPC server(&connected, gui.thread_id());
  ASSERT_TRUE(server.StartAndListen());

  DaemonEnd daemon;
  ASSERT_TRUE(daemon.StartService());
  ASSERT_TRUE(daemon.BlockConnect(OBDaemonExeIPC::kPipeName));
  EXPECT_TRUE(connected.Wait(10000));

  // What the daemon sends is announced to the GUI thread and dropped there.
  const uint8_t message[] = {1, 0, 0, 0};
  ASSERT_TRUE(daemon.SendToServer(message, sizeof message));
  brx::base::Message m;
  ASSERT_TRUE(gui.Get(&m));
  EXPECT_EQ(m.message, ombrix::messages::kDaemonPipeInput);
  server.DispatchMessages();

  daemon.Close();
  EXPECT_FALSE(gui.Get(&m));  // WM_QUIT: the daemon has gone
  EXPECT_EQ(m.message, brx::base::WM_QUIT);

  // One instance, no relisten: a daemon coming back finds nothing.
  DaemonEnd again;
  ASSERT_TRUE(again.StartService());
  EXPECT_FALSE(again.BlockConnect(OBDaemonExeIPC::kPipeName, 200));
  server.Stop();
  server.CloseAllPipes();
}

}  // namespace

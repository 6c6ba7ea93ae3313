// The error codes the signalling client reports must be the ones the failed
// call left, not whatever an allocation made of errno afterwards. This
// program's allocator clears errno on every allocation, as an allocator
// may, so a code read after one comes out as 0.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "client/video/signalling/ice_client.h"
#include "runtime/base/thread_message_queue.h"
#include "tests/support/test_support.h"

void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  errno = 0;
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

class Recorder : public ice::IceClientObersver {
 public:
  void OnIceLogin(const ice::ICEEvent_ice_login* e) override {
    ++logins;
    error = e->error_code;
  }
  int logins = 0;
  int error = -1;
};

TEST(IceClientErrors, FailedLoginSendReportsTheSendersError) {
  brx::base::ThreadMessageQueue queue;
  Recorder recorder;
  ice::IceClient client(&recorder);
  client.SetBindAddress("127.0.0.1");
  client.SetPortRangeForTesting(static_cast<uint16_t>(21000 + getpid() % 4000), 20);
  ASSERT_TRUE(client.Initial());
  // A datagram to the broadcast address is refused (EACCES) on a socket
  // that did not ask for broadcast.
  client.Login(L"255.255.255.255", 9, L"sid", L"alice", L"Alice");
  ASSERT_TRUE(ombrix::test::WaitUntil([&] {
    brx::base::Message m;
    while (queue.Peek(&m, true)) client.DispatchEvents();
    return recorder.logins == 1;
  }));
  EXPECT_EQ(recorder.error, EACCES);
}

}  // namespace

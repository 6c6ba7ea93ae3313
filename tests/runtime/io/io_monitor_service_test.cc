#include "runtime/io/io_monitor_service.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "tests/support/test_support.h"

namespace brx::io {
namespace {

using ombrix::test::WaitUntil;

struct Completion {
  int error;
  IOOperation* operation;
  uint32_t bytes;
};

class RecordingHandler : public IOMonitorService::IIOHandler {
 public:
  bool OnError(int) override { return true; }
  void OnComplete(int error, IOOperation* operation, uint32_t bytes) override {
    if (on_complete) on_complete(error, operation);
    std::lock_guard<std::mutex> lock(mutex);
    completions.push_back({error, operation, bytes});
  }
  void OnStop(int) override { ++stops; }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return completions.size();
  }
  Completion at(size_t i) {
    std::lock_guard<std::mutex> lock(mutex);
    return completions.at(i);
  }
  std::function<void(int, IOOperation*)> on_complete;
  std::mutex mutex;
  std::vector<Completion> completions;
  std::atomic<int> stops{0};
};

struct Pair {
  Pair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    a.Reset(fds[0]);
    b.Reset(fds[1]);
  }
  ScopedFd a, b;
};

TEST(IOMonitorServiceTest, ReadCompletesWithBytesThenWithBrokenPipeWhenThePeerCloses) {
  RecordingHandler handler;
  IOMonitorService reactor("test.reactor", &handler);
  Pair pair;
  uint8_t buffer[16];
  IOOperation read{pair.a.get(), IOOperation::Kind::kRead, buffer, sizeof buffer};
  handler.on_complete = [&](int error, IOOperation* op) {
    if (error == 0) reactor.Post(op);  // keep reading until the end
  };
  ASSERT_TRUE(reactor.Start());
  ASSERT_TRUE(reactor.Post(&read));
  ASSERT_EQ(write(pair.b.get(), "hello", 5), 5);
  ASSERT_TRUE(WaitUntil([&] { return handler.count() == 1; }));
  EXPECT_EQ(handler.at(0).error, 0);
  EXPECT_EQ(handler.at(0).bytes, 5u);
  EXPECT_EQ(memcmp(buffer, "hello", 5), 0);
  pair.b.Reset();
  ASSERT_TRUE(WaitUntil([&] { return handler.count() == 2; }));
  EXPECT_EQ(handler.at(1).error, kErrorBrokenPipe);
  EXPECT_EQ(handler.at(1).bytes, 0u);
  reactor.Stop();
  EXPECT_EQ(handler.stops, 1);
}

TEST(IOMonitorServiceTest, OperationRemovedDuringABatchIsNotReported) {
  RecordingHandler handler;
  IOMonitorService reactor("test.reactor", &handler);
  Pair one, two;
  uint8_t b1[4], b2[4];
  IOOperation r1{one.a.get(), IOOperation::Kind::kRead, b1, sizeof b1};
  IOOperation r2{two.a.get(), IOOperation::Kind::kRead, b2, sizeof b2};
  // Both are readable before the reactor first waits, so one epoll_wait
  // reports both; whichever runs first removes the other.
  ASSERT_EQ(write(one.b.get(), "1", 1), 1);
  ASSERT_EQ(write(two.b.get(), "2", 1), 1);
  ASSERT_TRUE(reactor.Post(&r1));
  ASSERT_TRUE(reactor.Post(&r2));
  handler.on_complete = [&](int, IOOperation* op) { reactor.Remove(op == &r1 ? &r2 : &r1); };
  ASSERT_TRUE(reactor.Start());
  ASSERT_TRUE(WaitUntil([&] { return handler.count() == 1; }));
  // A task queued now runs after anything the batch could still report.
  std::atomic<bool> ran{false};
  ASSERT_TRUE(reactor.PostTask([&] { ran = true; }));
  ASSERT_TRUE(WaitUntil([&] { return ran.load(); }));
  reactor.Stop();
  EXPECT_EQ(handler.count(), 1u);
}

TEST(IOMonitorServiceTest, TasksRunOnTheReactorThreadOrInlineWhenStopped) {
  RecordingHandler handler;
  IOMonitorService reactor("test.reactor", &handler);
  bool inline_ran = false;
  reactor.RunOnIoThread([&] { inline_ran = true; });
  EXPECT_TRUE(inline_ran);
  EXPECT_FALSE(reactor.PostTask([] {}));
  ASSERT_TRUE(reactor.Start());
  std::atomic<uint32_t> task_thread{0};
  reactor.RunOnIoThread([&] { task_thread = base::CurrentThreadId(); });
  ASSERT_TRUE(WaitUntil([&] { return task_thread.load() != 0; }));
  EXPECT_EQ(task_thread.load(), reactor.GetThreadId());
  reactor.Stop();
  reactor.Stop();  // twice is fine
  EXPECT_EQ(handler.stops, 1);
}

TEST(IOMonitorServiceTest, AcceptAndConnectComplete) {
  RecordingHandler handler;
  IOMonitorService reactor("test.reactor", &handler);
  ScopedFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // Abstract address: nothing to clean up.
  std::string name = "ombrix-reactor-test-" + std::to_string(getpid());
  memcpy(address.sun_path + 1, name.data(), name.size());
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(listen(listener.get(), 4), 0);
  IOOperation accept_op{listener.get(), IOOperation::Kind::kAccept};
  ASSERT_TRUE(reactor.Start());
  ASSERT_TRUE(reactor.Post(&accept_op));
  ScopedFd client(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  ASSERT_EQ(connect(client.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
  IOOperation connect_op{client.get(), IOOperation::Kind::kConnect};
  ASSERT_TRUE(reactor.Post(&connect_op));
  ASSERT_TRUE(WaitUntil([&] { return handler.count() == 2; }));
  reactor.Stop();
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(handler.at(i).error, 0);
    if (handler.at(i).operation == &accept_op) {
      EXPECT_GE(accept_op.accepted_fd, 0);
    }
  }
  ScopedFd accepted(accept_op.accepted_fd);
}

// An epoll_wait that always fails, as one on a broken descriptor would.
int FailingWait(int, epoll_event*, int, int) {
  errno = EINVAL;
  return -1;
}

TEST(IOMonitorServiceTest, LastingWaitErrorIsRetriedWithPausesNotInALoop) {
  struct Handler : RecordingHandler {
    bool OnError(int error) override {
      std::lock_guard<std::mutex> lock(mutex);
      errors.push_back(error);
      times.push_back(std::chrono::steady_clock::now());
      return true;  // keep going
    }
    size_t error_count() {
      std::lock_guard<std::mutex> lock(mutex);
      return errors.size();
    }
    std::vector<int> errors;
    std::vector<std::chrono::steady_clock::time_point> times;
  } handler;
  IOMonitorService reactor("test.reactor", &handler);
  reactor.SetWaitFunctionForTesting(&FailingWait);
  ASSERT_TRUE(reactor.Start());
  ASSERT_TRUE(WaitUntil([&] { return handler.error_count() >= 3; }));
  reactor.Stop();  // wakes the pause at once
  EXPECT_EQ(handler.stops, 1);
  std::lock_guard<std::mutex> lock(handler.mutex);
  EXPECT_EQ(handler.errors[0], EINVAL);
  for (size_t i = 1; i < handler.times.size(); ++i)
    EXPECT_GE(handler.times[i] - handler.times[i - 1],
              std::chrono::milliseconds(IOMonitorService::kErrorRetryMs))
        << "error " << i << " came right after the one before";
}

TEST(IOMonitorServiceTest, DelayedTasksRunInDueOrderOnTheReactorThreadAndAreDroppedAtStop) {
  RecordingHandler handler;
  IOMonitorService reactor("test.reactor", &handler);
  EXPECT_FALSE(reactor.PostDelayedTask(0, [] {}));  // not running
  ASSERT_TRUE(reactor.Start());
  std::mutex mutex;
  std::vector<int> order;
  std::vector<uint32_t> threads;
  auto record = [&](int i) {
    return [&, i] {
      std::lock_guard<std::mutex> lock(mutex);
      order.push_back(i);
      threads.push_back(base::CurrentThreadId());
    };
  };
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(reactor.PostDelayedTask(60, record(2)));
  ASSERT_TRUE(reactor.PostDelayedTask(30, record(1)));
  bool dropped_ran = false;
  ASSERT_TRUE(reactor.PostDelayedTask(3'600'000, [&] { dropped_ran = true; }));
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return order.size() == 2;
  }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
  reactor.Stop();
  EXPECT_FALSE(dropped_ran);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  for (uint32_t t : threads) EXPECT_NE(t, base::CurrentThreadId());
}

}  // namespace
}  // namespace brx::io

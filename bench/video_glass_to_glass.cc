// Glass to glass over the direct link on loopback: a frame handed to the
// sending side's video chat until the receiving side fires it decoded,
// at 640x480 and 30 frames a second. The frame number travels in the
// pixels (a row of black and white blocks), so each decoded frame is
// matched to its push time whatever was dropped.
//
// Both sides are real (codec workers, UDT link, notices through the
// thread queue); only the rendezvous server is played by this program.
//
//   video_glass_to_glass [frames]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "client/core/message_ids.h"
#include "client/core/video_events.h"
#include "client/video/interact/ob_logic_interact.h"
#include "client/video/transport/video_transfer_notice.h"
#include "runtime/base/thread_message_queue.h"
#include "tests/support/loopback_socket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kForwarded = 0x7001;
constexpr uint32_t kForwardedNotice = 0x7002;
constexpr int kW = 640, kH = 480, kBits = 16, kBlock = 40;

class SilentSignalling : public ice::IceSignalling {
 public:
  void set_main_thread_id(uint32_t) override {}
  void set_message_id(uint32_t) override {}
  bool Initial() override { return true; }
  void Login(const std::wstring&, int, const std::wstring&, const std::wstring&,
             const std::wstring&) override {}
  int Logout() override { return 0; }
  void Rename(const std::wstring&) override {}
  void KeepAliveTick() override {}
  void GetOnlineFriend(int, int) override {}
  void Invite(const std::wstring& payload, const std::wstring&, const std::wstring&) override {
    last = payload;
  }
  void Reply(const std::wstring&, const std::wstring&, int, const std::wstring& payload) override {
    last = payload;
  }
  void Hangup(const std::wstring&, const std::wstring&) override {}
  void RelayInvite(const std::wstring&, const std::wstring&) override {}
  void StartStunUac(const std::wstring&, const std::wstring&) override {}
  void StartStunUas(const std::wstring&, const std::wstring&, const std::wstring&, int32_t, int32_t,
                    const std::wstring&, int32_t) override {}
  bool DispatchEvents() override { return true; }
  int32_t state() const override { return 2; }
  std::wstring last;
};

class Host : public InteractHost {
 public:
  explicit Host(std::wstring account) : account_(std::move(account)) {}
  InteractUser CurrentUser() const override { return {account_, L"sid", account_}; }
  std::wstring IceServerAddress() const override { return L""; }
  std::string HeadIconCacheFolder() const override { return "/tmp"; }
  void StartHeadIconDownload(const std::wstring&, const std::wstring&) override {}

 private:
  std::wstring account_;
};

void Stamp(std::vector<uint8_t>* frame, int number) {
  for (int bit = 0; bit < kBits; ++bit) {
    const uint8_t v = (number >> bit) & 1 ? 255 : 0;
    for (int row = 0; row < kBlock; ++row)
      for (int x = bit * kBlock; x < (bit + 1) * kBlock; ++x) {
        uint8_t* p = &(*frame)[(static_cast<size_t>(kH - 1 - row) * kW + x) * 3];
        p[0] = p[1] = p[2] = v;
      }
  }
}

int ReadStamp(const uint8_t* frame) {
  int number = 0;
  for (int bit = 0; bit < kBits; ++bit) {
    const uint8_t* p =
        &frame[(static_cast<size_t>(kH - 1 - kBlock / 2) * kW + bit * kBlock + kBlock / 2) * 3];
    if (p[1] > 128) number |= 1 << bit;
  }
  return number;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 300;
  brx::base::ThreadMessageQueue queue;
  // The receiving side's notices come back through a second queue, so the
  // two sides' notices for the same invitation stay apart.
  std::promise<uint32_t> forward_id;
  std::thread forwarder([&] {
    brx::base::ThreadMessageQueue q;
    forward_id.set_value(q.thread_id());
    brx::base::Message m;
    while (q.Get(&m)) {
      // A notice's payload moves on with it, to the bench thread's queue.
      if (m.message == ombrix::messages::kVideoTransportNotice) {
        brx::base::PostOwnedMessage(queue.thread_id(), 0, kForwardedNotice,
                                    brx::base::TakeMessagePayload<VideoTransferNotice>(m.wParam));
      } else {
        brx::base::PostOwnedMessage(queue.thread_id(), 0, kForwarded,
                                    std::make_unique<brx::base::Message>(m));
      }
    }
  });
  const uint32_t forward_tid = forward_id.get_future().get();

  EventChain chain_a, chain_b;
  Host host_a(L"alice"), host_b(L"bob");
  auto* sig_a = new SilentSignalling;
  auto* sig_b = new SilentSignalling;
  OBLogicInteract a(&chain_a, &host_a, std::unique_ptr<ice::IceSignalling>(sig_a));
  OBLogicInteract b(&chain_b, &host_b, std::unique_ptr<ice::IceSignalling>(sig_b));
  a.Start(queue.thread_id());
  b.Start(forward_tid);

  std::mutex mutex;
  std::map<int, Clock::time_point> pushed;
  std::vector<double> latency_ms;
  std::atomic<bool> ready{false};
  chain_a.Subscribe(SEVENT_VIDEO_READY, [&](const EventParameter*) { ready = true; });
  chain_b.Subscribe(SEVENT_VIDEO_STREAM, [&](const EventParameter* p) {
    auto* e = static_cast<const payload::SEVENT_VIDEO_STREAM*>(p);
    const auto now = Clock::now();
    const int number = ReadStamp(e->bytes);
    std::lock_guard<std::mutex> lock(mutex);
    auto it = pushed.find(number);
    if (it != pushed.end()) {
      latency_ms.push_back(std::chrono::duration<double, std::milli>(now - it->second).count());
      pushed.erase(it);
    }
  });
  auto pump = [&](int wait_ms) {
    pollfd p{queue.wake_fd(), POLLIN, 0};
    poll(&p, 1, wait_ms);
    brx::base::Message m;
    while (queue.Peek(&m, true)) {
      if (m.message == kForwarded) {
        std::unique_ptr<brx::base::Message> inner =
            brx::base::TakeMessagePayload<brx::base::Message>(m.wParam);
        b.OnThreadMessage(inner->message, inner->wParam);
      } else if (m.message == kForwardedNotice) {
        b.OnThreadMessage(ombrix::messages::kVideoTransportNotice, m.wParam);
      } else {
        a.OnThreadMessage(m.message, m.wParam);
      }
    }
  };

  // Invitation, acceptance and binding, played out as the server would.
  a.InviteVideo(L"inv", L"bob", true, {FromHandle::kGameClient, 1});
  ice::ICEEvent_ice_invite invite;
  invite.id = L"inv";
  invite.from = L"alice";
  invite.data = sig_a->last;
  b.OnIceInvite(&invite);
  b.ReplyVideoInvite(L"inv", 0, {FromHandle::kGameClient, 2});
  ice::ICEEvent_ice_reply reply;
  reply.id = L"inv";
  reply.result = ice::ICE_REPLY_ACCEPT;
  reply.data = sig_b->last;
  a.OnIceReply(&reply);
  ice::ICEEvent_stun_invite stun;
  stun.id = L"inv";
  b.OnStunInvite(&stun);
  uint16_t port_a = 0, port_b = 0;
  for (OBLogicInteract* side : {&a, &b}) {
    ice::ICEEvent_stun_ready r;
    r.id = L"inv";
    uint16_t* port = side == &a ? &port_a : &port_b;
    r.socket = ombrix::test::BindLoopbackUdp(port);
    r.result = std::make_unique<ice::BindingResult>();
    r.result->local_port = r.result->bind_port = *port;
    r.result->peer_ip = L"127.0.0.1";
    r.result->peer_port = side == &a ? 0 : port_a;
    side->OnStunReady(&r);
  }
  const auto setup_deadline = Clock::now() + std::chrono::seconds(15);
  while (!ready && Clock::now() < setup_deadline) pump(10);
  if (!ready) {
    std::printf("glass to glass: the link did not come up\n");
    return 1;
  }

  std::vector<uint8_t> frame(static_cast<size_t>(kW) * kH * 3);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>((i * 7) & 0x7f);
  const auto interval = std::chrono::microseconds(1000000 / 30);
  auto next = Clock::now();
  for (int n = 0; n < count; ++n) {
    while (Clock::now() < next) {
      pump(static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count()));
    }
    next += interval;
    Stamp(&frame, n);
    {
      std::lock_guard<std::mutex> lock(mutex);
      pushed[n] = Clock::now();
    }
    a.PushVideoFrame(L"inv", frame.data(), static_cast<uint32_t>(frame.size()), 30, kW, kH);
    pump(0);
  }
  const auto drain_deadline = Clock::now() + std::chrono::seconds(2);
  while (Clock::now() < drain_deadline) pump(10);

  std::vector<double> v, steady;
  {
    std::lock_guard<std::mutex> lock(mutex);
    v = latency_ms;
  }
  // After the first second: the link's start (its congestion window opening
  // under the first key frame) is over.
  if (v.size() > 30) steady.assign(v.begin() + 30, v.end());
  std::sort(steady.begin(), steady.end());
  if (std::getenv("GLASS_SERIES")) {
    for (double x : v) std::printf("%.1f ", x);
    std::printf("\n");
  }
  std::sort(v.begin(), v.end());
  if (v.empty()) {
    std::printf("glass to glass: no frame arrived\n");
    return 1;
  }
  std::printf(
      "glass to glass, 640x480 at 30 fps over the direct link: %zu of %d frames, "
      "p50 %.1f ms, p95 %.1f ms, max %.1f ms (limit: p95 < 50 ms)\n",
      v.size(), count, bench::Percentile(v, 50), bench::Percentile(v, 95), v.back());
  if (!steady.empty()) {
    std::printf("  after the first second: p50 %.1f ms, p95 %.1f ms, max %.1f ms\n",
                bench::Percentile(steady, 50), bench::Percentile(steady, 95), steady.back());
  }
  a.Stop();
  b.Stop();
  pump(0);
  brx::base::PostThreadMessage(forward_tid, brx::base::WM_QUIT, 0, 0);
  forwarder.join();
  pump(0);
  return 0;
}

// Round trips and one-way throughput of 64-byte and video-frame sized
// (640 x 480 x 3) messages through the game link server (the real
// OBLogicGameCommand on a GUI thread with its message loop), side by side
// with raw Unix sockets in the same run. Prints each figure and the ratio
// to raw; every figure has its raw counterpart measured beside it, the two
// taking turns at going first from one round to the next.
//
// Round trips are timed by a game on a bare blocking socket, so they count
// only the client's own hops (read thread, GUI thread, write), as the raw
// echo counts only its one thread. The 0.9 MB one-way figures use the
// bare game too: the raw baseline has one writer and one reader, and the
// game simulator's pipe client would add a read thread and a pump of its
// own (on the game's side, which is not the client) that the figure would
// be charged with. They are printed as well, marked, for reference. The
// 64-byte one-way figures use the simulator's pipe client, as the tests
// do. Five games pushing frames at once are compared with one epoll thread
// reading five raw sockets.
//
// Targets: throughput >= 0.8 x raw, 0.9 MB frames >= 0.85 x raw, five
// games >= 0.6 x raw, p99 round trip <= 2 x raw. Large messages are sent
// with a few in flight, as a video source that produces frames as they are
// taken; more only thrashes the caches.
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "client/core/config_store.h"
#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/core/gamelink/s2c_messages.h"
#include "client/core/message_ids.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/util/text_convert.h"
#include "standin/game/game_simulator.h"

namespace {

using bench::Median;
using Clock = std::chrono::steady_clock;
constexpr uint16_t kWidth = 640, kHeight = 480;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3;

struct Latency {
  double p50_us, p99_us;
};

struct ScopedEpoll {
  explicit ScopedEpoll(int f) : fd(f) {}
  ~ScopedEpoll() { close(fd); }
  int fd;
};

Latency Percentiles(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  return {bench::Percentile(us, 50), bench::Percentile(us, 99)};
}

// ---- raw socketpair -------------------------------------------------------

// The same socket buffer size the pipes ask for, so the comparison is of
// the transport code, not of buffer sizes.
void SocketPair(int fds[2]) {
  socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
  int size = 0x100000;
  for (int i = 0; i < 2; ++i) setsockopt(fds[i], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

bool ReadAll(int fd, uint8_t* p, size_t n) {
  while (n) {
    ssize_t r = read(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n) {
    ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

Latency RawRoundTrips(size_t size, int count) {
  int fds[2];
  SocketPair(fds);
  std::vector<uint8_t> out(size, 1), in(size);
  std::thread echo([&] {
    std::vector<uint8_t> b(size);
    for (int i = 0; i < count; ++i)
      if (!ReadAll(fds[1], b.data(), size) || !WriteAll(fds[1], b.data(), size)) return;
  });
  std::vector<double> us;
  for (int i = 0; i < count; ++i) {
    auto start = Clock::now();
    WriteAll(fds[0], out.data(), size);
    ReadAll(fds[0], in.data(), size);
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  echo.join();
  close(fds[0]);
  close(fds[1]);
  return Percentiles(us);
}

double RawThroughput(size_t size, int count) {  // MB/s
  int fds[2];
  SocketPair(fds);
  std::vector<uint8_t> out(size, 1);
  auto start = Clock::now();
  std::thread reader([&] {
    std::vector<uint8_t> b(size);
    for (int i = 0; i < count; ++i)
      if (!ReadAll(fds[1], b.data(), size)) return;
  });
  for (int i = 0; i < count; ++i) WriteAll(fds[0], out.data(), size);
  reader.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  close(fds[0]);
  close(fds[1]);
  return double(size) * count / seconds / 1e6;
}

// Five writers push `count` frames of `size` bytes each into five sockets;
// one epoll thread reads them all and finds the frame boundaries. MB/s.
double RawFiveReader(size_t size, int count) {
  constexpr int kGames = 5;
  int fds[kGames][2];
  ScopedEpoll epoll(epoll_create1(EPOLL_CLOEXEC));
  for (int g = 0; g < kGames; ++g) {
    SocketPair(fds[g]);
    epoll_event e{EPOLLIN, {.u32 = static_cast<uint32_t>(g)}};
    epoll_ctl(epoll.fd, EPOLL_CTL_ADD, fds[g][1], &e);
  }
  std::vector<uint8_t> frame(size, 1);
  auto start = Clock::now();
  std::vector<std::thread> writers;
  for (int g = 0; g < kGames; ++g)
    writers.emplace_back([&, g] {
      for (int i = 0; i < count; ++i) WriteAll(fds[g][0], frame.data(), frame.size());
    });
  std::vector<uint8_t> buffer(0x100000);
  size_t left_in_frame[kGames] = {};
  int frames = 0;
  while (frames < kGames * count) {
    epoll_event events[kGames];
    int n = epoll_wait(epoll.fd, events, kGames, -1);
    for (int i = 0; i < n; ++i) {
      int g = static_cast<int>(events[i].data.u32);
      ssize_t r = read(fds[g][1], buffer.data(), buffer.size());
      for (size_t got = r > 0 ? static_cast<size_t>(r) : 0; got > 0;) {
        if (left_in_frame[g] == 0) left_in_frame[g] = size;
        size_t take = std::min(got, left_in_frame[g]);
        left_in_frame[g] -= take;
        got -= take;
        if (left_in_frame[g] == 0) ++frames;
      }
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (auto& t : writers) t.join();
  for (int g = 0; g < kGames; ++g) close(fds[g][0]), close(fds[g][1]);
  return double(size) * kGames * count / seconds / 1e6;
}

// ---- the game link --------------------------------------------------------

// The main client's GUI thread running the game link server.
class GameLinkHost {
 public:
  explicit GameLinkHost(const std::string& folder) {
    thread_ = std::thread([this, folder] { Main(brx::util::Utf8ToWide(folder)); });
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return server_ != nullptr; });
  }
  ~GameLinkHost() {
    brx::base::PostThreadMessage(tid_, brx::base::WM_QUIT, 0, 0);
    thread_.join();
  }
  OBLogicGameCommand& server() { return *server_; }
  // Messages the GUI thread's handlers have seen.
  uint64_t handled() const { return handled_.load(std::memory_order_acquire); }
  void WaitHandled(uint64_t at_least) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return handled() >= at_least; });
  }
  brx::io::ConnectionId client() const { return client_.load(); }
  // What the handler of a POSTBLOG answers with; null: nothing.
  void SetReply(const IPCMessage* reply) { reply_ = reply; }

 private:
  void Main(std::wstring folder) {
    brx::base::ThreadMessageQueue queue;
    ConfigStore config(folder, L"g1");
    config.LoadSystemConfig();
    EventChain chain;
    OBLogicGameCommand server(chain, config);
    auto count = [this](brx::io::ConnectionId c, const uint8_t*, uint32_t) {
      client_ = c;
      if (const IPCMessage* reply = reply_.load()) server_.load()->SendToClient(c, *reply);
      std::lock_guard<std::mutex> lock(mutex_);
      handled_.fetch_add(1, std::memory_order_release);
      cv_.notify_all();
    };
    server.Register(16, count);  // POSTBLOG: the small message
    server.Register(38, count);  // VEDIO_STREAM: the large one
    if (!server.Start(queue.thread_id())) {
      fprintf(stderr, "the game link server did not start\n");
      exit(1);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tid_ = queue.thread_id();
      server_ = &server;
    }
    cv_.notify_all();
    brx::base::Message m;
    while (queue.Get(&m))
      if (m.message == ombrix::messages::kGamePipeInput) server.DispatchMessages();
    server.Stop();
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  uint32_t tid_ = 0;
  std::atomic<OBLogicGameCommand*> server_{nullptr};
  std::atomic<uint64_t> handled_{0};
  std::atomic<brx::io::ConnectionId> client_{0};
  std::atomic<const IPCMessage*> reply_{nullptr};
};

// A 64-byte frame: POSTBLOG with 24 characters of text and no picture.
std::vector<uint8_t> SmallBody() {
  std::vector<uint8_t> b = {16, 0, 0, 0, 48, 0, 0, 0};
  for (int i = 0; i < 24; ++i) b.insert(b.end(), {'x', 0});
  b.insert(b.end(), {0, 0, 0, 0});
  return b;  // + 4-byte frame header = 64
}

// A VEDIO_STREAM of one 640 x 480 frame.
std::vector<uint8_t> LargeBody() {
  gamesim::WireMessage m;
  m.fields = {{"invitation_id", std::u16string(u"bench")},
              {"frame_rate", int64_t{25}},
              {"width", int64_t{kWidth}},
              {"height", int64_t{kHeight}},
              {"frame", std::vector<uint8_t>(kFrameBytes, 0x80)}};
  return gamesim::EncodeMessage(
      *gamesim::FindMessage(gamesim::HookToClientMessages(), "VEDIO_STREAM"), m);
}

// A game on a bare blocking socket, attached to the first free name.
class BareGame {
 public:
  BareGame(const std::string& pipe_dir, const std::string& game_id) {
    // A game that left by closing its pipe gives its name back only once
    // the client has seen it go: like a hook library on a busy pipe, wait
    // a little for a name to be served again.
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (fd_ < 0) {
      for (int i = 1; i <= 5 && fd_ < 0; ++i) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::string path =
            pipe_dir + "/ombrix.ipc.obdaemondll_" + std::to_string(i) + "_" + game_id;
        snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
          fd_ = fd;
        else
          close(fd);
      }
      if (fd_ >= 0 || Clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (fd_ < 0) return;
    int size = 0x100000;
    setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    std::vector<uint8_t> attach = {0, 0, 0, 0, static_cast<uint8_t>(2 * game_id.size()), 0, 0, 0};
    for (char c : game_id) attach.insert(attach.end(), {static_cast<uint8_t>(c), 0});
    Send(attach);
    for (int i = 0; i < 5; ++i) Receive();  // the handshake
  }
  ~BareGame() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  bool Send(const std::vector<uint8_t>& body) {
    uint8_t header[4];
    uint32_t length = static_cast<uint32_t>(body.size() + 4);
    for (int i = 0; i < 4; ++i) header[i] = static_cast<uint8_t>(length >> (8 * i));
    return WriteAll(fd_, header, 4) && WriteAll(fd_, body.data(), body.size());
  }
  // One whole frame; its length.
  size_t Receive() {
    uint8_t header[4];
    if (!ReadAll(fd_, header, 4)) return 0;
    uint32_t length = header[0] | header[1] << 8 | header[2] << 16 | uint32_t(header[3]) << 24;
    if (buffer_.size() < length) buffer_.resize(length);
    return ReadAll(fd_, buffer_.data(), length - 4) ? length : 0;
  }

 private:
  int fd_ = -1;
  std::vector<uint8_t> buffer_;
};

Latency BareRoundTrips(GameLinkHost& host, BareGame& game, const std::vector<uint8_t>& body,
                       const IPCMessage& reply, int count) {
  host.SetReply(&reply);
  std::vector<double> us;
  for (int i = 0; i < count; ++i) {
    auto start = Clock::now();
    game.Send(body);
    game.Receive();
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  host.SetReply(nullptr);
  return Percentiles(us);
}

// Five bare games push `count` frames each at once, with a few in flight
// per game; MB/s of what the GUI thread's handler got.
double FiveGamesPushing(GameLinkHost& host, const std::string& pipe_dir,
                        const std::vector<uint8_t>& body, int count) {
  constexpr int kGames = 5, kInFlight = 4;
  std::vector<std::unique_ptr<BareGame>> games;
  for (int g = 0; g < kGames; ++g) {
    games.push_back(std::make_unique<BareGame>(pipe_dir, "g1"));
    if (!games.back()->ok()) {
      fprintf(stderr, "game %d found no free name\n", g);
      exit(1);
    }
  }
  uint64_t base = host.handled();
  std::atomic<uint64_t> sent{0};
  auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int g = 0; g < kGames; ++g)
    threads.emplace_back([&, g] {
      for (int i = 0; i < count; ++i) {
        uint64_t mine = sent.fetch_add(1);
        if (mine >= kGames * kInFlight) host.WaitHandled(base + mine - kGames * kInFlight + 1);
        games[g]->Send(body);
      }
    });
  for (auto& t : threads) t.join();
  host.WaitHandled(base + kGames * count);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return double(body.size() + 4) * kGames * count / seconds / 1e6;
}

// Game to client on the bare game: it writes each frame on its blocking
// socket, with `window` frames in flight; MB/s of what the GUI thread's
// handler got.
double BareThroughputToClient(GameLinkHost& host, BareGame& game, const std::vector<uint8_t>& body,
                              int count, int window) {
  uint64_t base = host.handled();
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    if (host.handled() + window <= base + i) host.WaitHandled(base + i - window + 1);
    game.Send(body);
  }
  host.WaitHandled(base + count);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return double(body.size() + 4) * count / seconds / 1e6;
}

// Client to game on the bare game: another thread sends (as the codec
// thread sends frames) with `window` frames in flight, the bare game reads
// each whole frame off its socket. MB/s.
double BareThroughputToGame(GameLinkHost& host, BareGame& game, const std::vector<uint8_t>& hello,
                            const IPCMessage& message, int count, int window) {
  // The handler answers the connection it heard last: make that this game.
  uint64_t before = host.handled();
  game.Send(hello);
  host.WaitHandled(before + 1);
  std::atomic<int> received{0};
  std::mutex mutex;
  std::condition_variable cv;
  auto start = Clock::now();
  std::thread sender([&] {
    for (int i = 0; i < count; ++i) {
      if (received.load() + window <= i) {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return received.load() + window > i; });
      }
      host.server().SendToClient(host.client(), message);
    }
  });
  for (int i = 0; i < count; ++i) {
    if (!game.Receive()) break;
    std::lock_guard<std::mutex> lock(mutex);
    received.fetch_add(1);
    cv.notify_all();
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (received.load() < count) {
    fprintf(stderr, "the bare game's socket closed\n");
    exit(1);
  }
  sender.join();
  return double(message.size() + 4) * count / seconds / 1e6;
}

struct Link {
  GameLinkHost* host;
  gamesim::GameSimulator* sim;
  std::atomic<uint64_t> received{0};  // messages the simulator got
  uint64_t received_bytes = 0;
  std::mutex mutex;
  std::condition_variable cv;
  void Received(uint32_t length) {
    received_bytes += length;
    std::lock_guard<std::mutex> lock(mutex);
    received.fetch_add(1, std::memory_order_release);
    cv.notify_all();
  }
  void WaitReceived(uint64_t at_least) {
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait(lock, [&] { return received >= at_least; });
  }
};

// Waits until `condition` holds, pumping the simulator's messages meanwhile.
void PumpUntil(Link& link, const std::function<bool()>& condition) {
  while (!condition()) link.sim->Pump(std::chrono::milliseconds(1));
}

// Game to client: the simulator sends, the GUI thread's handler counts.
double LinkThroughputToClient(Link& link, const std::vector<uint8_t>& body, int count, int window) {
  uint64_t base = link.host->handled();
  auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    if (link.host->handled() + window <= base + i) link.host->WaitHandled(base + i - window + 1);
    link.sim->SendFrame(body);
  }
  link.host->WaitHandled(base + count);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return double(body.size() + 4) * count / seconds / 1e6;
}

// Client to game: another thread sends (as the codec thread sends frames),
// the simulator receives.
double LinkThroughputToGame(Link& link, const IPCMessage& message, int count, int window) {
  uint64_t base = link.received;
  auto start = Clock::now();
  std::thread sender([&] {
    for (int i = 0; i < count; ++i) {
      if (link.received + window <= base + i) link.WaitReceived(base + i - window + 1);
      link.host->server().SendToClient(link.host->client(), message);
    }
  });
  PumpUntil(link, [&] { return link.received >= base + count; });
  sender.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return double(message.size() + 4) * count / seconds / 1e6;
}

// Runs both sides once, back to back; in odd rounds the game link goes
// first, so neither side always runs on what the other left behind.
template <typename Raw, typename Ours>
void InTurn(int round, Raw raw_side, Ours link_side) {
  if (round % 2) {
    link_side();
    raw_side();
  } else {
    raw_side();
    link_side();
  }
}

// One figure measured in every round, next to its raw counterpart.
struct Figure {
  const char* what;
  const char* unit;
  bool higher_is_better;
  std::vector<double> link, raw;

  template <typename Raw, typename Ours>
  void Measure(int round, Raw raw_side, Ours link_side) {
    InTurn(
        round, [&] { raw.push_back(raw_side()); }, [&] { link.push_back(link_side()); });
  }
};

}  // namespace

// Usage: game_link_throughput [rounds]. Each round measures every figure
// once, raw and game link next to each other; the medians are printed,
// which keeps a busy machine's hiccups out of the ratios.
int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  const std::string load_before = bench::LoadAverage();
  std::string folder =
      std::filesystem::temp_directory_path() / ("ombrix-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder + "/pipes");
  setenv("OMBRIX_PIPE_DIR", (folder + "/pipes").c_str(), 1);

  const int small_rt = 5000, large_rt = 100, small_tp = 100000, large_tp = 300, five_tp = 100;
  std::vector<Figure> figures = {
      {"round trip 64 B, p50", "us", false},
      {"round trip 64 B, p99", "us", false},
      {"round trip 0.9 MB, p50", "us", false},
      {"round trip 0.9 MB, p99", "us", false},
      {"game -> client 64 B", "MB/s", true},
      {"client -> game 64 B", "MB/s", true},
      {"game -> client 0.9 MB", "MB/s", true},
      {"client -> game 0.9 MB", "MB/s", true},
      {"five games -> client 0.9 MB", "MB/s", true},
      {"game -> client 0.9 MB, simulator", "MB/s", true},
      {"client -> game 0.9 MB, simulator", "MB/s", true},
  };
  {
    GameLinkHost host(folder);
    gamesim::GameSimulator::Options options;
    options.name_suffix = L"g1";
    gamesim::GameSimulator sim(options);
    Link link{&host, &sim};
    if (!sim.ConnectAndAttach("g1", std::chrono::seconds(10))) {
      fprintf(stderr, "the simulator could not attach\n");
      return 1;
    }
    for (int i = 0; i < 5; ++i) sim.Receive(std::chrono::seconds(10));  // the handshake
    sim.SetRawTap([&](const uint8_t*, uint32_t length) {
      link.Received(length);
      return true;
    });

    std::vector<uint8_t> small = SmallBody(), large = LargeBody();
    COBMSG_S2C_SERVERTIME small_reply(std::wstring(26, L'y'));  // 64 bytes framed
    std::vector<uint8_t> pixels(kFrameBytes, 0x40);
    COBMSG_S2C_VEDIO_STREAM large_reply(false, 25, kWidth, kHeight, pixels.data(),
                                        static_cast<uint32_t>(pixels.size()), L"bench");

    BareGame bare(folder + "/pipes", "g1");
    if (!bare.ok()) {
      fprintf(stderr, "the bare game could not attach\n");
      return 1;
    }
    BareRoundTrips(host, bare, small, small_reply, 2000);  // warm-up
    RawRoundTrips(64, 2000);
    // A round trip's p50 and p99 come from one run of each side.
    auto round_trips = [&](int round, Figure& p50, Figure& p99, auto raw_side, auto link_side) {
      Latency raw{}, ours{};
      InTurn(
          round, [&] { raw = raw_side(); }, [&] { ours = link_side(); });
      p50.raw.push_back(raw.p50_us), p50.link.push_back(ours.p50_us);
      p99.raw.push_back(raw.p99_us), p99.link.push_back(ours.p99_us);
    };
    // The raw baseline of a one-way figure: the frames that direction carries.
    auto raw = [](size_t frame, int count) {
      return [frame, count] { return RawThroughput(frame, count); };
    };
    const size_t small_in = small.size() + 4, large_in = large.size() + 4;
    const size_t small_out = small_reply.size() + 4, large_out = large_reply.size() + 4;
    for (int round = 0; round < rounds; ++round) {
      round_trips(
          round, figures[0], figures[1], [&] { return RawRoundTrips(small_in, small_rt); },
          [&] { return BareRoundTrips(host, bare, small, small_reply, small_rt); });
      round_trips(
          round, figures[2], figures[3], [&] { return RawRoundTrips(large_in, large_rt); },
          [&] { return BareRoundTrips(host, bare, large, large_reply, large_rt); });
      figures[4].Measure(round, raw(small_in, small_tp),
                         [&] { return LinkThroughputToClient(link, small, small_tp, 512); });
      figures[5].Measure(round, raw(small_out, small_tp),
                         [&] { return LinkThroughputToGame(link, small_reply, small_tp, 512); });
      figures[6].Measure(round, raw(large_in, large_tp),
                         [&] { return BareThroughputToClient(host, bare, large, large_tp, 2); });
      figures[7].Measure(round, raw(large_out, large_tp), [&] {
        return BareThroughputToGame(host, bare, small, large_reply, large_tp, 2);
      });
      figures[9].Measure(round, raw(large_in, large_tp),
                         [&] { return LinkThroughputToClient(link, large, large_tp, 2); });
      figures[10].Measure(round, raw(large_out, large_tp),
                          [&] { return LinkThroughputToGame(link, large_reply, large_tp, 2); });
    }
    if (!sim.errors().empty()) fprintf(stderr, "simulator: %s\n", sim.errors().front().c_str());
  }
  {
    // Five games: every name taken by a pushing game.
    GameLinkHost host(folder);
    std::vector<uint8_t> large = LargeBody();
    for (int round = 0; round < rounds; ++round)
      figures[8].Measure(
          round, [&] { return RawFiveReader(large.size() + 4, five_tp); },
          [&] { return FiveGamesPushing(host, folder + "/pipes", large, five_tp); });
  }
  std::filesystem::remove_all(folder);
  const std::string load_after = bench::LoadAverage();

  printf("medians of %d rounds%28s %12s %12s\n", rounds, "", "game link", "raw");
  for (const Figure& f : figures) {
    double ours = Median(f.link), raw = Median(f.raw);
    printf("%-38s %12.1f %12.1f %-5s ratio %.2f %s\n", f.what, ours, raw, f.unit, ours / raw,
           std::string(f.what).find("simulator") != std::string::npos ? "(with the harness's hops)"
           : !f.higher_is_better                                      ? "(target <= 2.00)"
           : std::string(f.what).find("five") == 0                    ? "(target >= 0.60)"
           : std::string(f.what).find("0.9 MB") != std::string::npos  ? "(target >= 0.85)"
                                                                      : "(target >= 0.80)");
  }
  printf("load average: %s before, %s after\n", load_before.c_str(), load_after.c_str());
  return 0;
}

#include "standin/game/game_simulator.h"

#include <thread>

#include "runtime/io/ipc/ipc_service_client.h"

namespace gamesim {

class GameSimulator::Pipe : public brx::io::ipc::IPCServiceClient {
 public:
  explicit Pipe(GameSimulator* owner) : owner_(owner) {}
  ~Pipe() override { Stop(); }

 protected:
  void OnConnect(int) override {}
  // Both tell the owner after unlocking, so it does not wake only to wait
  // for the lock.
  void OnDisconnect(int error) override {
    {
      std::lock_guard<std::mutex> lock(owner_->mutex_);
      owner_->disconnected_ = true;
      owner_->disconnect_error_ = error;
    }
    owner_->changed_.notify_all();
  }
  void NotifyBatch() override {
    {
      std::lock_guard<std::mutex> lock(owner_->mutex_);
      if (owner_->batch_pending_) return;  // the owner has yet to look: it drains this batch too
      owner_->batch_pending_ = true;
    }
    owner_->changed_.notify_all();
  }
  void OnMessage(const brx::io::QueuedMessage& message) override {
    owner_->Deliver(message.body.get(), message.length);
  }

 private:
  GameSimulator* owner_;
};

GameSimulator::GameSimulator() : GameSimulator(Options()) {}

GameSimulator::GameSimulator(Options options)
    : options_(std::move(options)), pipe_(std::make_unique<Pipe>(this)) {
  if (!pipe_->StartService()) errors_.push_back("pipe threads did not start");
}

GameSimulator::~GameSimulator() { pipe_.reset(); }

std::wstring GameSimulator::PipeName(int index) const {
  return L"ombrix.ipc.obdaemondll_" + std::to_wstring(index) + L"_" + options_.name_suffix;
}

bool GameSimulator::ConnectTo(int index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!disconnected_) return false;
  }
  // Messages of an earlier connection are not this one's.
  pipe_->DispatchMessages();
  inbox_.clear();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    disconnected_ = false;
    batch_pending_ = false;
    disconnect_error_ = 0;
  }
  if (pipe_->BlockConnect(PipeName(index), options_.connect_wait_ms)) {
    name_index_ = index;
    return true;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  disconnected_ = true;
  return false;
}

int GameSimulator::Connect() {
  for (int i = 1; i <= kNameCount; ++i)
    if (ConnectTo(i)) return i;
  return 0;
}

bool GameSimulator::IsConnected() const { return pipe_->IsConnected(); }

bool GameSimulator::Send(const std::string& name, const WireMessage& fields) {
  const MessageSpec* spec = FindMessage(HookToClientMessages(), name);
  if (!spec) {
    errors_.push_back("no hook-to-client message " + name);
    return false;
  }
  return SendFrame(EncodeMessage(*spec, fields));
}

bool GameSimulator::Attach(const std::string& game_id) {
  WireMessage m;
  m.fields.emplace_back("game_id", Utf8ToUtf16(game_id));
  return Send("ATTACH", m);
}

bool GameSimulator::ConnectAndAttach(const std::string& game_id,
                                     std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Connect() == 0) {
      // Every name is busy: wait a little for one to be served again.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (Attach(game_id)) {
      if (std::optional<WireMessage> first = Receive(left)) {
        inbox_.push_front(std::move(*first));
        return true;
      }
    }
    Close();
    WaitDisconnected(left);
  }
  return false;
}

bool GameSimulator::SendFrame(const std::vector<uint8_t>& body) {
  // A game produces frames as its pipe takes them: wait while too much is
  // still unwritten rather than queue without end.
  if (pipe_->IsConnected() &&
      !pipe_->WaitForRoom(pipe_->connection(), kMaxUnsentBytes, kSendWait)) {
    errors_.push_back("the pipe took nothing for " + std::to_string(kSendWait.count()) + " ms");
    return false;
  }
  return pipe_->SendToServer(body.data(), static_cast<uint32_t>(body.size()));
}

bool GameSimulator::SendBytes(const std::vector<uint8_t>& bytes) {
  if (!pipe_->IsConnected()) return false;
  return pipe_->Send(pipe_->connection(), bytes.data(), static_cast<uint32_t>(bytes.size()),
                     nullptr, 0);
}

bool GameSimulator::PushVideoFrame(const std::string& invitation_id, uint16_t width,
                                   uint16_t height, uint16_t frame_rate, uint8_t fill) {
  WireMessage m;
  m.fields.emplace_back("invitation_id", Utf8ToUtf16(invitation_id));
  m.fields.emplace_back("frame_rate", int64_t{frame_rate});
  m.fields.emplace_back("width", int64_t{width});
  m.fields.emplace_back("height", int64_t{height});
  m.fields.emplace_back("frame", std::vector<uint8_t>(size_t{width} * height * 3, fill));
  return Send("VEDIO_STREAM", m);
}

void GameSimulator::Deliver(const uint8_t* body, uint32_t length) {
  if (tap_ && tap_(body, length)) return;
  std::string error;
  std::optional<WireMessage> m = DecodeMessage(ClientToHookMessages(), body, length, &error);
  if (m)
    inbox_.push_back(std::move(*m));
  else
    errors_.push_back(error);
}

std::optional<WireMessage> GameSimulator::Receive(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (!inbox_.empty()) {
      WireMessage m = std::move(inbox_.front());
      inbox_.pop_front();
      return m;
    }
    bool closed;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait_until(lock, deadline, [this] { return batch_pending_ || disconnected_; });
      closed = disconnected_ && !batch_pending_;
      batch_pending_ = false;
    }
    pipe_->DispatchMessages();
    if (!inbox_.empty()) continue;
    if (closed || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
  }
}

bool GameSimulator::Pump(std::chrono::milliseconds timeout) {
  bool closed;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return batch_pending_ || disconnected_; }))
      return false;
    closed = disconnected_ && !batch_pending_;
    batch_pending_ = false;
  }
  pipe_->DispatchMessages();
  return !closed;
}

std::optional<WireMessage> GameSimulator::Expect(const std::string& name,
                                                 std::chrono::milliseconds timeout) {
  std::optional<WireMessage> m = Receive(timeout);
  if (!m) {
    errors_.push_back("expected " + name + ", got nothing");
    return std::nullopt;
  }
  if (m->name != name) {
    errors_.push_back("expected " + name + ", got " + m->ToString());
    return std::nullopt;
  }
  return m;
}

void GameSimulator::Detach() {
  Send("DETACH");
  Close();
}

void GameSimulator::Close() { pipe_->Close(); }

bool GameSimulator::WaitDisconnected(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return disconnected_; });
}

int GameSimulator::disconnect_error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return disconnect_error_;
}

}  // namespace gamesim

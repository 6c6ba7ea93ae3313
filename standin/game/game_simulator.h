#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "standin/game/game_wire.h"

namespace gamesim {

// Plays the in-game hook library on the game pipes: connects to the first
// free of the five names, sends hook-to-client messages, and reads and
// checks client-to-hook messages (strictly: a message that does not match
// the sheet is recorded in errors()).
//
// Threads: every public operation on the caller's thread (one thread at a
// time); the pipe's own read and write threads run inside. Messages are
// decoded on the caller's thread, inside Receive.
class GameSimulator {
 public:
  static constexpr int kNameCount = 5;
  // What may wait unwritten on the pipe before a send waits for room
  // (about nine raw 640 x 480 frames), and how long it waits at most.
  static constexpr size_t kMaxUnsentBytes = 8u << 20;
  static constexpr std::chrono::milliseconds kSendWait{30000};

  struct Options {
    // Appended to every pipe name: the game id when the main client does
    // not install its hook system-wide.
    std::wstring name_suffix;
    // How long Connect waits on each name for it to be served.
    int connect_wait_ms = 0;
  };

  GameSimulator();
  explicit GameSimulator(Options options);
  ~GameSimulator();
  GameSimulator(const GameSimulator&) = delete;
  GameSimulator& operator=(const GameSimulator&) = delete;

  // "ombrix.ipc.obdaemondll_<index>_" + suffix, index 1 to 5.
  std::wstring PipeName(int index) const;

  // Tries names 1 to 5 and connects to the first one that is served.
  // Returns its index, or 0 when every name is busy.
  int Connect();
  bool ConnectTo(int index);
  bool IsConnected() const;
  // The name index of the current (or last) connection.
  int name_index() const { return name_index_; }

  // Sends a hook-to-client message by sheet name; false when the name is
  // unknown or the pipe is not connected.
  bool Send(const std::string& name, const WireMessage& fields = {});
  bool Attach(const std::string& game_id);
  // Connects and attaches, and keeps trying names until a reply comes or
  // `timeout` passes. A name becomes free for everybody at once, so two
  // games may connect to it together: the main client serves one and
  // turns the other away, whose pipe then closes before any reply, as a
  // busy pipe would; such a game simply tries again. The first reply stays
  // queued for Receive.
  bool ConnectAndAttach(const std::string& game_id, std::chrono::milliseconds timeout);
  // A raw frame: the body framed with its length. Waits while more than
  // kMaxUnsentBytes are still unwritten (false after kSendWait).
  bool SendFrame(const std::vector<uint8_t>& body);
  // Bytes exactly as given, without a frame (to play a broken stream).
  bool SendBytes(const std::vector<uint8_t>& bytes);
  // A VEDIO_STREAM of width x height x 3 bytes, every byte `fill`.
  bool PushVideoFrame(const std::string& invitation_id, uint16_t width, uint16_t height,
                      uint16_t frame_rate = 25, uint8_t fill = 0x80);

  // The next client-to-hook message, waiting up to `timeout`; nullopt on
  // time-out, or once the pipe closed and nothing is left.
  std::optional<WireMessage> Receive(std::chrono::milliseconds timeout);
  // Receives and checks that the next message has this name; on a mismatch
  // or time-out records an error and returns nullopt.
  std::optional<WireMessage> Expect(const std::string& name, std::chrono::milliseconds timeout);

  // Waits up to `timeout` for messages and hands them to the raw tap (or
  // decodes them into the queue Receive reads). False on time-out or once
  // the pipe closed with nothing left.
  bool Pump(std::chrono::milliseconds timeout);

  // Sends DETACH and closes this end.
  void Detach();
  // Closes this end; WaitDisconnected tells when the close is done.
  void Close();
  // True once the pipe is closed (by either side) within `timeout`.
  bool WaitDisconnected(std::chrono::milliseconds timeout);
  int disconnect_error() const;

  // Sees every raw message body before it is decoded; returning true
  // consumes it (for benchmarks that do not want the decoding).
  void SetRawTap(std::function<bool(const uint8_t*, uint32_t)> tap) { tap_ = std::move(tap); }

  const std::vector<std::string>& errors() const { return errors_; }
  void AddError(std::string error) { errors_.push_back(std::move(error)); }

 private:
  class Pipe;
  void Deliver(const uint8_t* body, uint32_t length);

  Options options_;
  std::unique_ptr<Pipe> pipe_;
  int name_index_ = 0;
  std::deque<WireMessage> inbox_;
  std::vector<std::string> errors_;
  std::function<bool(const uint8_t*, uint32_t)> tap_;

  // Shared with the pipe's read thread.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool batch_pending_ = false;
  bool disconnected_ = true;
  int disconnect_error_ = 0;
};

}  // namespace gamesim

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/core/event_chain.h"
#include "client/core/gamelink/game_command_block.h"
#include "client/core/gamelink/game_link_services.h"
#include "client/core/gamelink/game_link_web.h"
#include "client/core/ipc/ipc_server.h"
#include "client/core/web_user.h"

class ConfigStore;
class IPCMessage;
class OBLogicGameImage;
class OBLogicGameWeb;
struct SystemConfigValues;
struct GameConfigValues;

// The game link server: serves the in-game hook library on five pipes,
// keeps the table of connected games, runs the attach handshake that pushes
// the whole state to a new game, and turns every pipe close into a detach
// handled in order behind the game's last messages. A game that attached
// leaves with exactly one SEVENT_GAME_DETACH on the numbered chain; one that
// never attached (or was turned away for another game's id) leaves
// silently, because the event's handlers may end the client with its game.
//
// Threads: the pipe service's read thread calls OnConnect, OnDisconnect and
// NotifyBatch, which posts ombrix::messages::kGamePipeInput to the GUI thread; the GUI
// loop then calls DispatchMessages, and every handler runs on the GUI
// thread. Sends may come from any thread (video frames come from the codec
// thread).
//
// Locks, in the order they may nest: the handler map (held while pipe
// handlers run), an event chain, the client table (held during every send
// and table access). No event is fired while the client table is held.
//
// The game command handlers live in blocks (configuration, account and
// blog, image; more join with AddBlock before Start), started in that order
// after the pipes are served and stopped in the reverse order after the
// pipes are closed.
//
// Ownership: borrows the event chain, the configuration store, the web
// state and the services, which must outlive it. Stop (also run by the
// destructor) ends both pipe threads and closes every pipe without detach
// events.
class OBLogicGameCommand : public IPCServer {
 public:
  static constexpr int kPipeCount = 5;
  // The five pipe names; with the install-hook flag off each has the
  // current game id appended.
  static const wchar_t* const kPipeNames[kPipeCount];
  // How long a connected client has to attach before its pipe is closed
  // and its name served again.
  static constexpr uint32_t kDefaultAttachTimeLimitMs = 10000;

  // `user` may be null: nobody is signed in and sign-ins go nowhere.
  OBLogicGameCommand(EventChain& chain, ConfigStore& config, IWebUser* user = nullptr,
                     GameLinkServices services = {});
  ~OBLogicGameCommand() override;

  // Registers the attach and detach handlers, starts the pipe threads,
  // listens on the five names (a failed listen is logged and skipped) and
  // subscribes to the server date-time reply. False when the threads do not
  // start.
  bool Start(uint32_t gui_thread_id);
  // Unsubscribes, removes every handler, stops the pipe threads and closes
  // every pipe. Messages still queued are dropped. Safe twice.
  void Stop();

  // Before Start.
  void SetAttachTimeLimit(uint32_t ms) { attach_limit_ms_ = ms; }
  // A further handler block, started after the built-in ones. Before Start.
  void AddBlock(std::unique_ptr<GameCommandBlock> block);
  // Every tick of the 1-second timer: the screenshot statistics report
  // when it is due.
  void FlushShotStatistics();
  OBLogicGameWeb& web_block() { return *web_block_; }

  // The names Start listens on, with the edition's install-hook rule.
  std::wstring PipeName(int index) const;

  // Sends to one connection, attached or not; false for an unknown one or
  // a refused message (which no send operation ever sends).
  bool SendToClient(brx::io::ConnectionId connection, const IPCMessage& message);
  // Sends to every attached client but `except` (0: none).
  void SendToAll(const IPCMessage& message, brx::io::ConnectionId except = 0);
  // Sends to every client attached as `game_name` (exact match) but `except`.
  void SendToGame(const std::wstring& game_name, const IPCMessage& message,
                  brx::io::ConnectionId except = 0);
  // The client's game name (empty until attached); "other" when unknown.
  std::wstring GetClientGameName(brx::io::ConnectionId connection);
  // Connected clients, attached or not.
  size_t GetClientCount();

  // The values the handshake and the settings messages carry.
  SystemConfigValues CurrentSystemConfig() const;
  GameConfigValues CurrentGameConfig(const std::wstring& game_name) const;
  // Creates store folder + "/" + the user's folder part (failures ignored)
  // and returns the system values with that part.
  SystemConfigValues PrepareSystemConfig() const;

 protected:
  void OnConnect(brx::io::ConnectionId connection, const std::wstring& pipe_name) override;
  void OnDisconnect(brx::io::ConnectionId connection, int error) override;
  void NotifyBatch() override;
  bool IPCFilter(brx::io::ConnectionId connection, const uint8_t* message,
                 uint32_t length) override;

 private:
  struct ClientRecord {
    std::wstring pipe_name;
    std::wstring game_name;  // empty until the client attached
  };

  void OnAttach(brx::io::ConnectionId connection, const uint8_t* message, uint32_t length);
  void OnDetach(brx::io::ConnectionId connection, const uint8_t* message, uint32_t length);
  void OnServerTime(const EventParameter* event);
  // Under the client-table lock.
  void WriteTo(brx::io::ConnectionId connection, const IPCMessage& message);

  EventChain& chain_;
  ConfigStore& config_;
  SignedOutWebUser signed_out_;
  IWebUser& user_;
  NullGameLinkWebCommands no_web_commands_;
  GameLinkServices services_;
  std::vector<std::unique_ptr<GameCommandBlock>> blocks_;  // in start order
  OBLogicGameImage* image_block_ = nullptr;                // in blocks_
  OBLogicGameWeb* web_block_ = nullptr;                    // in blocks_
  bool blocks_started_ = false;
  uint32_t gui_thread_id_ = 0;
  uint32_t attach_limit_ms_ = kDefaultAttachTimeLimitMs;
  std::wstring server_time_;  // GUI thread; empty until known
  EventChain::Handle server_time_subscription_ = 0;

  // Re-entrant: the handshake holds it while it sends.
  std::recursive_mutex clients_mutex_;
  std::map<brx::io::ConnectionId, ClientRecord> clients_;
};

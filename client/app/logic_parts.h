#pragma once

#include <cstdint>
#include <string>

namespace brx::base {
struct Message;
}

// The logic parts that the web, video-chat and game-link layers supply to
// the logic holder and the main loop. Each is owned by the logic holder
// (the daemon link by the application object) and called on the GUI thread
// only. A build without one of them simply runs without it: its steps are
// skipped and its thread messages are not consumed.

// The web service client: web logic manager and its logic classes.
class WebLogicPart {
 public:
  virtual ~WebLogicPart() = default;
  // Starts the worker threads; finished jobs are announced to the GUI
  // thread with FinishedJobsMessage().
  virtual void Start(uint32_t gui_thread_id) = 0;
  // The start-up work once the windows exist: the server configuration
  // download, the server time query and the start report.
  virtual void RunStartUpJobs() = 0;
  // Every tick of the 1-second timer.
  virtual void OnTimer() = 0;
  virtual uint32_t FinishedJobsMessage() const = 0;
  // Runs the callbacks of the finished jobs; true when it consumed the message.
  virtual bool DispatchFinishedJobs() = 0;
  // "Users/<account>" while a user is signed in, else "Users/All Users".
  virtual std::wstring GetUserFolder() const = 0;
  // Stops the user logic and the worker threads. Safe to call twice.
  virtual void Stop() = 0;
};

// The video chat: signalling client and interaction logic.
class VideoChatPart {
 public:
  virtual ~VideoChatPart() = default;
  virtual bool Start(uint32_t gui_thread_id) = 0;
  virtual uint32_t KeepAliveInterval() const = 0;  // ms
  virtual void SendKeepAlive() = 0;
  // Signalling events, transport notices and finished head-image
  // downloads; true when it consumed the message.
  virtual bool OnThreadMessage(const brx::base::Message& msg) = 0;
  // Safe to call twice, and after a failed Start.
  virtual void Stop() = 0;
};

// The game pipe server towards the in-game hook library and its command
// handlers.
class GameLinkPart {
 public:
  virtual ~GameLinkPart() = default;
  // Serves the game pipes; received messages are announced to the GUI
  // thread with ombrix::messages::kGamePipeInput.
  virtual bool Start(uint32_t gui_thread_id) = 0;
  // Drains the received pipe messages to their handlers.
  virtual void DispatchMessages() = 0;
  // Every tick: the screenshot statistics report when it is due.
  virtual void FlushShotStatistics() = 0;
  // Safe to call twice, and after a failed Start.
  virtual void Stop() = 0;
};

// The daemon pipe server, the liveness link to the hook daemon. It sets the
// application's daemon-connected event when the daemon connects and posts
// WM_QUIT to the GUI thread when it disconnects.
class DaemonLinkPart {
 public:
  virtual ~DaemonLinkPart() = default;
  // Starts the service threads, then listens on the daemon pipe.
  virtual bool Start() = 0;
  // Drains (and drops) what the daemon sent; ombrix::messages::kDaemonPipeInput.
  virtual void DispatchMessages() = 0;
  // Stops the service threads and closes every pipe instance. Safe to call twice.
  virtual void Stop() = 0;
};

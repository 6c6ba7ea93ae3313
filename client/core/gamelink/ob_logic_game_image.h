#pragma once

#include <cstdint>

#include "client/core/gamelink/game_command_block.h"
#include "runtime/io/queued_message.h"

class IGameLinkWebCommands;
class OBLogicGameCommand;

namespace brx::platform {
class TickClock;
}

// Counts the screenshots the games take: answers each new image with the
// counts of the three kinds (which start again at every sign-in reply,
// failed or not, and every sign-out) and reports the counts to the
// data-collection service at most once every kReportIntervalMs.
//
// GUI thread only (the tick is the main loop's timer). Owned by the game
// link server; the web commands and the clock are borrowed.
class OBLogicGameImage : public GameCommandBlock {
 public:
  static constexpr uint32_t kReportIntervalMs = 120000;

  OBLogicGameImage(OBLogicGameCommand& server, EventChain& chain, IGameLinkWebCommands& web,
                   const brx::platform::TickClock& clock);

  void Start() override;
  // Every tick of the 1-second timer: the first call only starts the
  // period; a later one more than kReportIntervalMs after the last report
  // hands both counts to the web client and starts them again.
  void FlushShotStatistics();

 private:
  void OnNewImage(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnShotCounter(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnUserChanged(const EventParameter* event);

  OBLogicGameCommand& server_;
  IGameLinkWebCommands& web_;
  const brx::platform::TickClock& clock_;
  uint32_t kind_counts_[3] = {0, 0, 0};
  uint32_t new_images_ = 0;
  uint32_t shot_messages_ = 0;
  bool period_started_ = false;
  uint32_t last_report_ = 0;
};

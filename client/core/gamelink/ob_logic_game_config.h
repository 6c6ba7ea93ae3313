#pragma once

#include <cstdint>

#include "client/core/gamelink/game_command_block.h"
#include "client/core/gamelink/game_link_services.h"
#include "runtime/io/queued_message.h"

class ConfigStore;
class OBLogicGameCommand;

// The settings a game changes and the pages it opens: system settings
// (help, panel position) are written and pushed to every other game; the
// timed-shot switch is written into the sender's game document; a changed
// game configuration goes to that game's other clients.
//
// GUI thread only. Owned by the game link server, which starts and stops it
// and outlives it; the shell is borrowed.
class OBLogicGameConfig : public GameCommandBlock {
 public:
  static constexpr wchar_t kPasswordRecoveryPath[] =
      L"/ptinfo/safecenter/getpwd/ChgPwdStepInputAcc.aspx?pwdchoose=findpwd";
  static constexpr wchar_t kRegistrationAgreementPath[] = L"/PTNew/xieyi.htm";

  OBLogicGameConfig(OBLogicGameCommand& server, EventChain& chain, ConfigStore& config,
                    brx::platform::Shell* shell, GamePageHosts pages);

  void Start() override;

 private:
  void OnSystemConfig(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnGameConfig(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnOpenUrl(brx::io::ConnectionId sender, const uint8_t* message, uint32_t length);
  void OnSystemConfigChanged(const EventParameter* event);
  void OnGameConfigChanged(const EventParameter* event);

  OBLogicGameCommand& server_;
  ConfigStore& config_;
  brx::platform::Shell* shell_;
  GamePageHosts pages_;
};

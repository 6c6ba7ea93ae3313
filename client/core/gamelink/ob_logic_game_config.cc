#include "client/core/gamelink/ob_logic_game_config.h"

#include "client/core/config_store.h"
#include "client/core/core_events.h"
#include "client/core/gamelink/c2s_messages.h"
#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/core/gamelink/s2c_messages.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/shell.h"
#include "runtime/util/text_convert.h"

using brx::io::ConnectionId;

OBLogicGameConfig::OBLogicGameConfig(OBLogicGameCommand& server, EventChain& chain,
                                     ConfigStore& config, brx::platform::Shell* shell,
                                     GamePageHosts pages)
    : GameCommandBlock(chain),
      server_(server),
      config_(config),
      shell_(shell),
      pages_(std::move(pages)) {}

void OBLogicGameConfig::Start() {
  server_.Register(COBMSG_C2S_SYSTEMCONFIG::kId, this, &OBLogicGameConfig::OnSystemConfig);
  server_.Register(COBMSG_C2S_GAMECONFIG::kId, this, &OBLogicGameConfig::OnGameConfig);
  server_.Register(COBMSG_C2S_OPENURL::kId, this, &OBLogicGameConfig::OnOpenUrl);
  Subscribe(SEVENT_CONFIG_CHANGE_SYSTEM, this, &OBLogicGameConfig::OnSystemConfigChanged);
  Subscribe(SEVENT_CONFIG_CHANGE_GAME, this, &OBLogicGameConfig::OnGameConfigChanged);
}

void OBLogicGameConfig::OnSystemConfig(ConnectionId sender, const uint8_t* message,
                                       uint32_t length) {
  COBMSG_C2S_SYSTEMCONFIG change(message, length);
  SystemConfig& system = config_.system();
  switch (change.kind) {
    case COBMSG_C2S_SYSTEMCONFIG::kShowHelp:
      system.SetShowHelp(change.value != 0);
      break;
    case COBMSG_C2S_SYSTEMCONFIG::kOverlayX:
      system.SetInnerPositionX(change.value);
      break;
    case COBMSG_C2S_SYSTEMCONFIG::kOverlayY:
      system.SetInnerPositionY(change.value);
      break;
    default:
      break;  // nothing to write, but the other games still hear the settings again
  }
  payload::SEVENT_CONFIG_CHANGE_SYSTEM event(payload::kConfigFromPipeClient,
                                             static_cast<int32_t>(sender));
  chain().FireEvent(&event);
}

void OBLogicGameConfig::OnGameConfig(ConnectionId sender, const uint8_t* message, uint32_t length) {
  COBMSG_C2S_GAMECONFIG change(message, length);
  if (change.kind != COBMSG_C2S_GAMECONFIG::kTimedShot) return;
  // Kept in memory; the game documents are saved at shut-down.
  config_.games().SetTimeShotEnabled(server_.GetClientGameName(sender), change.value != 0);
}

void OBLogicGameConfig::OnOpenUrl(ConnectionId, const uint8_t* message, uint32_t length) {
  COBMSG_C2S_OPENURL open(message, length);
  std::wstring url;
  switch (open.which) {
    case COBMSG_C2S_OPENURL::kHomePage:
      url = pages_.home + L"/";
      break;
    case COBMSG_C2S_OPENURL::kPasswordRecovery:
      url = pages_.account + kPasswordRecoveryPath;
      break;
    case COBMSG_C2S_OPENURL::kRegistrationAgreement:
      url = pages_.account + kRegistrationAgreementPath;
      break;
    default:
      return;
  }
  if (!shell_ || !shell_->OpenUrl(brx::util::WideToUtf8(url)))
    LogWarn(L"%ls:%d:cannot open %ls\n", L"OBLogicGameConfig::OnOpenUrl", __LINE__, url.c_str());
}

void OBLogicGameConfig::OnSystemConfigChanged(const EventParameter* event) {
  const auto* change = static_cast<const payload::SEVENT_CONFIG_CHANGE_SYSTEM*>(event);
  ConnectionId except = change->origin_kind == payload::kConfigFromPipeClient
                            ? static_cast<ConnectionId>(change->origin_handle)
                            : 0;
  server_.SendToAll(COBMSG_S2C_SYSTEMCONFIG(server_.PrepareSystemConfig()), except);
}

void OBLogicGameConfig::OnGameConfigChanged(const EventParameter* event) {
  const auto* change = static_cast<const payload::SEVENT_CONFIG_CHANGE_GAME*>(event);
  ConnectionId except = change->origin_kind == payload::kConfigFromPipeClient
                            ? static_cast<ConnectionId>(change->origin_handle)
                            : 0;
  server_.SendToGame(change->game_id,
                     COBMSG_S2C_GAMECONFIG(server_.CurrentGameConfig(change->game_id)), except);
}

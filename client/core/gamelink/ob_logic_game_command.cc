#include "client/core/gamelink/ob_logic_game_command.h"
#include "client/core/event_ids.h"

#include "client/core/config_store.h"
#include "client/core/core_events.h"
#include "client/core/gamelink/c2s_messages.h"
#include "client/core/gamelink/ob_logic_game_config.h"
#include "client/core/gamelink/ob_logic_game_image.h"
#include "client/core/gamelink/ob_logic_game_web.h"
#include "client/core/gamelink/s2c_messages.h"
#include "client/core/message_ids.h"
#include "client/core/web_events.h"
#include "runtime/base/thread_message_queue.h"
#include "runtime/logmaker/log.h"
#include "runtime/platform/tick_clock.h"
#include "runtime/util/edition.h"
#include "runtime/util/file_util.h"

using brx::io::ConnectionId;

const wchar_t* const OBLogicGameCommand::kPipeNames[kPipeCount] = {
    L"ombrix.ipc.obdaemondll_1_", L"ombrix.ipc.obdaemondll_2_", L"ombrix.ipc.obdaemondll_3_",
    L"ombrix.ipc.obdaemondll_4_", L"ombrix.ipc.obdaemondll_5_"};

OBLogicGameCommand::OBLogicGameCommand(EventChain& chain, ConfigStore& config, IWebUser* user,
                                       GameLinkServices services)
    : chain_(chain),
      config_(config),
      user_(user ? *user : signed_out_),
      services_(std::move(services)) {
  IGameLinkWebCommands& web = services_.web ? *services_.web : no_web_commands_;
  const brx::platform::TickClock& clock =
      services_.clock ? *services_.clock : brx::platform::SystemTickClock();
  blocks_.push_back(std::make_unique<OBLogicGameConfig>(*this, chain_, config_, services_.shell,
                                                        services_.pages));
  auto web_block = std::make_unique<OBLogicGameWeb>(*this, chain_, config_, user_, web);
  web_block_ = web_block.get();
  blocks_.push_back(std::move(web_block));
  auto image = std::make_unique<OBLogicGameImage>(*this, chain_, web, clock);
  image_block_ = image.get();
  blocks_.push_back(std::move(image));
}

void OBLogicGameCommand::AddBlock(std::unique_ptr<GameCommandBlock> block) {
  blocks_.push_back(std::move(block));
}

void OBLogicGameCommand::FlushShotStatistics() {
  if (blocks_started_) image_block_->FlushShotStatistics();
}

OBLogicGameCommand::~OBLogicGameCommand() { Stop(); }

std::wstring OBLogicGameCommand::PipeName(int index) const {
  std::wstring name = kPipeNames[index];
  brx::util::LoadEditionLibrary();
  // Without the system-wide hook, each game's hook library connects to a
  // set of names of its own game.
  if (!brx::util::GetEditionInstallHook()) name += config_.games().GetCurrentGameId();
  return name;
}

bool OBLogicGameCommand::Start(uint32_t gui_thread_id) {
  gui_thread_id_ = gui_thread_id;
  Register(COBMSG_C2S_ATTACH::kId, this, &OBLogicGameCommand::OnAttach);
  Register(COBMSG_C2S_DETACH::kId, this, &OBLogicGameCommand::OnDetach);
  if (!IPCServiceServer::Start()) {
    IPCServiceServer::Stop();
    UnregisterAll();
    return false;
  }
  for (int i = 0; i < kPipeCount; ++i) {
    std::wstring name = PipeName(i);
    if (!Listen(name, true))
      LogWarn(L"%ls:%d:Listen(%ls) failed\n", L"OBLogicGameCommand::Start", __LINE__, name.c_str());
  }
  for (auto& block : blocks_) block->Start();
  blocks_started_ = true;
  server_time_subscription_ =
      chain_.Subscribe(SEVENT_RESPONSE_GetServerDateTime, this, &OBLogicGameCommand::OnServerTime);
  return true;
}

void OBLogicGameCommand::Stop() {
  if (server_time_subscription_) chain_.Unsubscribe(server_time_subscription_);
  server_time_subscription_ = 0;
  UnregisterAll();
  IPCServiceServer::Stop();
  CloseAllPipes();
  Clear();
  if (blocks_started_) {
    for (auto it = blocks_.rbegin(); it != blocks_.rend(); ++it) (*it)->Stop();
    blocks_started_ = false;
  }
  size_t left;
  {
    std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
    left = clients_.size();
    clients_.clear();
  }
  if (left)
    LogWarn(L"%ls:%d:%zu game clients were still connected\n", L"OBLogicGameCommand::Stop",
            __LINE__, left);
}

void OBLogicGameCommand::OnConnect(ConnectionId connection, const std::wstring& pipe_name) {
  {
    std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
    clients_[connection] = ClientRecord{pipe_name, L""};
  }
  // A hook library attaches as soon as it connects. One that has not by
  // then is hung or no game at all, and would hold its name for good.
  DisconnectUnlessKept(connection, attach_limit_ms_, [this, connection] {
    std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
    auto it = clients_.find(connection);
    return it != clients_.end() && !it->second.game_name.empty();
  });
}

void OBLogicGameCommand::OnDisconnect(ConnectionId connection, int) {
  // The detach is queued behind the client's last messages, so the GUI
  // thread handles it after them.
  const uint8_t detach[IPCMessage::kHeaderSize] = {COBMSG_C2S_DETACH::kId, 0, 0, 0};
  Push(connection, detach, sizeof detach);
  NotifyBatch();
}

void OBLogicGameCommand::NotifyBatch() {
  brx::base::PostThreadMessage(gui_thread_id_, ombrix::messages::kGamePipeInput, 0, 0);
}

bool OBLogicGameCommand::IPCFilter(ConnectionId connection, const uint8_t* message, uint32_t) {
  uint16_t id = static_cast<uint16_t>(message[0] | message[1] << 8);
  if (id == COBMSG_C2S_ATTACH::kId || id == COBMSG_C2S_DETACH::kId) return false;
  bool attached;
  {
    std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
    auto it = clients_.find(connection);
    if (it == clients_.end()) return true;
    attached = !it->second.game_name.empty();
  }
  if (!attached) LogWarnA("[IPC]IPCFilter IPC=0x%x;msg:%d is not attached yet\n", connection, id);
  return !attached;
}

SystemConfigValues OBLogicGameCommand::CurrentSystemConfig() const {
  const SystemConfig& system = config_.system();
  SystemConfigValues v;
  v.one_shot_sound = system.IsOneShotSound();
  v.many_shot_sound = system.IsManyShotSound();
  v.show_help = system.IsShowHelp();
  v.first_run = system.IsFirstRun();
  v.overlay_x = system.GetInnerPositionX();
  v.overlay_y = system.GetInnerPositionY();
  v.user_folder_part = user_.GetUserFolder();
  v.store_folder = system.GetSnapshotDirectory();
  return v;
}

SystemConfigValues OBLogicGameCommand::PrepareSystemConfig() const {
  SystemConfigValues v = CurrentSystemConfig();
  brx::util::CreateDirectories(v.store_folder + L"/" + v.user_folder_part);
  return v;
}

GameConfigValues OBLogicGameCommand::CurrentGameConfig(const std::wstring& game) const {
  const GameConfigSet& games = config_.games();
  GameConfigValues v;
  v.many_shot_duration = games.GetManyShotDuration(game);
  v.many_shot_interval = games.GetManyShotInterval(game);
  v.quality = games.GetQuality(game);
  v.timed_shot_enabled = games.IsTimeShotEnabled(game);
  v.timed_shot_interval = games.GetTimeShotInterval(game);
  v.one_shot_key = games.GetOneShotKey(game);
  v.many_shot_key = games.GetManyShotKey(game);
  v.show_hide_key = games.GetShowHideKey(game);
  v.region_one_shot_key = games.GetRegionOneShotKey(game);
  v.region_many_shot_key = games.GetRegionManyShotKey(game);
  v.quick_publish_key = games.GetQuickPublishKey(game);
  return v;
}

void OBLogicGameCommand::OnAttach(ConnectionId connection, const uint8_t* message,
                                  uint32_t length) {
  COBMSG_C2S_ATTACH attach(message, length);
  brx::util::LoadEditionLibrary();
  if (!brx::util::GetEditionInstallHook() && attach.game_id != config_.games().GetCurrentGameId()) {
    // Another game's hook library: closed the normal way, so its record
    // goes (without a detach event: it never attached) and the name is
    // served again.
    DisconnectPipe(connection);
    return;
  }
  SendToClient(connection, COBMSG_S2C_WELCOME());
  std::wstring game_name = config_.games().HasGame(attach.game_id) ? attach.game_id : L"other";

  std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
  auto it = clients_.find(connection);
  if (it == clients_.end()) return;
  it->second.game_name = game_name;
  if (user_.IsLoggedIn()) {
    WriteTo(connection, COBMSG_S2C_LOGIN(user_.record().logged_in_by_ticket, true, L""));
    WriteTo(connection, COBMSG_S2C_USERINFO(!user_.record().NickName.empty()));
  }
  WriteTo(connection, COBMSG_S2C_SYSTEMCONFIG(PrepareSystemConfig()));
  WriteTo(connection, COBMSG_S2C_GAMECONFIG(CurrentGameConfig(game_name)));
  WriteTo(connection, COBMSG_S2C_CONFIGOK());
  WriteTo(connection, COBMSG_S2C_USERINFO_GetDataPrompt(user_));
  if (!server_time_.empty()) WriteTo(connection, COBMSG_S2C_SERVERTIME(server_time_));
}

void OBLogicGameCommand::OnDetach(ConnectionId connection, const uint8_t*, uint32_t) {
  std::wstring game_name;
  {
    std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
    auto it = clients_.find(connection);
    if (it == clients_.end()) return;
    if (it->second.game_name.empty()) {
      // Never attached (or turned away for another game's id): no game has
      // left, and the detach event's handlers may end the client with it.
      clients_.erase(it);
      return;
    }
    game_name = it->second.game_name;
  }
  LogWarn(L"%ls:%d:game %ls left, IPC=0x%x\n", L"OBLogicGameCommand::OnDetach", __LINE__,
          game_name.c_str(), connection);
  // Fired without the client table held: the video frame handler takes the
  // chain's lock before the table's.
  payload::SEVENT_GAME_DETACH detach(game_name, static_cast<int32_t>(connection));
  chain_.FireEvent(&detach);
  std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
  clients_.erase(connection);
}

void OBLogicGameCommand::OnServerTime(const EventParameter* event) {
  const auto& reply = static_cast<const payload::SEVENT_RESPONSE_GetServerDateTime&>(*event);
  if (reply.ok) server_time_ = reply.text;
}

void OBLogicGameCommand::WriteTo(ConnectionId connection, const IPCMessage& message) {
  WriteFramedMessage(message, *this, connection);
}

bool OBLogicGameCommand::SendToClient(ConnectionId connection, const IPCMessage& message) {
  if (message.refused()) return false;
  std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
  if (!clients_.count(connection)) return false;
  WriteTo(connection, message);
  return true;
}

void OBLogicGameCommand::SendToAll(const IPCMessage& message, ConnectionId except) {
  std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
  for (const auto& [connection, record] : clients_)
    if (!record.game_name.empty() && connection != except) WriteTo(connection, message);
}

void OBLogicGameCommand::SendToGame(const std::wstring& game_name, const IPCMessage& message,
                                    ConnectionId except) {
  std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
  for (const auto& [connection, record] : clients_)
    if (record.game_name == game_name && connection != except) WriteTo(connection, message);
}

std::wstring OBLogicGameCommand::GetClientGameName(ConnectionId connection) {
  std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
  auto it = clients_.find(connection);
  return it == clients_.end() ? L"other" : it->second.game_name;
}

size_t OBLogicGameCommand::GetClientCount() {
  std::lock_guard<std::recursive_mutex> lock(clients_mutex_);
  return clients_.size();
}

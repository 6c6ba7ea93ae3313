#pragma once

#include <string>

#include "client/core/game_config_set.h"
#include "client/core/system_config.h"

class OBLogicCommand;

// The main client's settings: the system document, the per-game documents,
// and the autostart value that starts the launcher at log-on. Owned by the
// logic holder; GUI thread only.
class ConfigStore {
 public:
  explicit ConfigStore(std::wstring program_folder);
  ConfigStore(std::wstring program_folder, std::wstring current_game_id);

  void SetOwner(OBLogicCommand* owner) { owner_ = owner; }
  OBLogicCommand* owner() const { return owner_; }

  SystemConfig& system() { return system_; }
  const SystemConfig& system() const { return system_; }
  GameConfigSet& games() { return games_; }
  const GameConfigSet& games() const { return games_; }

  void LoadSystemConfig() { system_.Load(); }
  void SaveSystemConfig() { system_.Save(); }
  bool CheckSkinAndLoadGameConfigs() { return games_.CheckSkinAndLoadGameConfigs(this); }
  void SaveGameConfigs() { games_.Save(); }

  // Whether the autostart value names this installation's launcher.
  bool IsAutoStartEnabled() const;
  // Writes or deletes the autostart value.
  void SetAutoStart(bool on);
  // The launcher the autostart value names: program folder + "/Ombrix.exe".
  std::wstring LauncherPath() const;

 private:
  std::wstring program_folder_;
  OBLogicCommand* owner_ = nullptr;
  SystemConfig system_;
  GameConfigSet games_;
};

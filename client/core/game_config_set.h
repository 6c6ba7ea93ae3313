#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

class TiXmlDocument;
class ConfigStore;

// The per-game settings: one XML document per file directly in the
// "games" folder, keyed by the document's game id, plus a fallback document
// from "games/other.xml" that answers for every game without a file of its
// own. "games/other.xml" is also listed under its own id like any other
// game file; both names share its one document in memory, so a change made
// through the fallback is saved once and never overwritten by a second
// copy of the same file. Read through the fallback, the id is always
// "other" and the name the default one, whatever the file holds.
//
// GUI thread only.
class GameConfigSet {
 public:
  // The current game id is the edition's.
  explicit GameConfigSet(std::wstring program_folder);
  GameConfigSet(std::wstring program_folder, std::wstring current_game_id);
  ~GameConfigSet();
  GameConfigSet(const GameConfigSet&) = delete;
  GameConfigSet& operator=(const GameConfigSet&) = delete;

  // False without a current game id (silently) or without its skin folder
  // "OBSkin/<id>" (logged); else loads the game documents.
  bool CheckSkinAndLoadGameConfigs(ConfigStore* owner);
  // Writes the fallback file and every game file; failures are ignored.
  void Save();

  // A game id without a document of its own reads and writes the fallback.
  std::wstring GetGameConfigValue(const std::wstring& game_id, const std::wstring& key,
                                  const std::wstring& default_value) const;
  void SetGameConfigValue(const std::wstring& game_id, const std::wstring& key,
                          const std::wstring& value);

  std::wstring GetGameName(const std::wstring& game_id) const;
  std::wstring GetOneShotKey(const std::wstring& game_id) const;
  void SetOneShotKey(const std::wstring& game_id, const std::wstring& key_name);
  std::wstring GetManyShotKey(const std::wstring& game_id) const;
  void SetManyShotKey(const std::wstring& game_id, const std::wstring& key_name);
  std::wstring GetRegionOneShotKey(const std::wstring& game_id) const;
  void SetRegionOneShotKey(const std::wstring& game_id, const std::wstring& key_name);
  std::wstring GetRegionManyShotKey(const std::wstring& game_id) const;
  void SetRegionManyShotKey(const std::wstring& game_id, const std::wstring& key_name);
  std::wstring GetShowHideKey(const std::wstring& game_id) const;
  void SetShowHideKey(const std::wstring& game_id, const std::wstring& key_name);
  std::wstring GetQuickPublishKey(const std::wstring& game_id) const;
  void SetQuickPublishKey(const std::wstring& game_id, const std::wstring& key_name);
  int GetManyShotDuration(const std::wstring& game_id) const;
  void SetManyShotDuration(const std::wstring& game_id, int duration);
  // Seconds between the shots of a burst; stored with one decimal.
  float GetManyShotInterval(const std::wstring& game_id) const;
  void SetManyShotInterval(const std::wstring& game_id, float seconds);
  bool IsTimeShotEnabled(const std::wstring& game_id) const;
  void SetTimeShotEnabled(const std::wstring& game_id, bool on);
  int GetTimeShotInterval(const std::wstring& game_id) const;
  void SetTimeShotInterval(const std::wstring& game_id, int interval);
  int GetQuality(const std::wstring& game_id) const;
  void SetQuality(const std::wstring& game_id, int quality);
  bool IsExitWithGame(const std::wstring& game_id) const;
  void SetExitWithGame(const std::wstring& game_id, bool on);
  // For the current game.
  bool IsExitWithGame() const { return IsExitWithGame(current_game_id_); }

  bool HasGame(const std::wstring& game_id) const;
  // Every id with a file of its own, in key order (the fallback is not one).
  void GetGameIds(std::vector<std::wstring>* ids) const;
  const std::wstring& GetCurrentGameId() const { return current_game_id_; }

  std::wstring SkinFolder() const;
  std::wstring GamesFolder() const;
  std::wstring FallbackFilePath() const;

 private:
  struct GameFile {
    std::wstring path;
    std::unique_ptr<TiXmlDocument> owned;  // null when the entry is the fallback's own file
    TiXmlDocument* doc;
  };

  void LoadGameConfigs();
  const TiXmlDocument* Find(const std::wstring& game_id) const;
  TiXmlDocument* Find(const std::wstring& game_id);
  std::wstring GetKey(const std::wstring& game_id, const wchar_t* key,
                      const wchar_t* default_value) const;

  std::wstring program_folder_;
  std::wstring current_game_id_;
  std::map<std::wstring, GameFile> games_;
  std::unique_ptr<TiXmlDocument> fallback_;
  bool fallback_loaded_ = false;
  ConfigStore* owner_ = nullptr;
};

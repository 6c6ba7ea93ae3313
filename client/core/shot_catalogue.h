#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <string>

namespace brx::util {
struct FindData;
}

// Where the catalogue finds a game's screenshots; the logic holder answers.
class IShotFolderSource {
 public:
  virtual ~IShotFolderSource() = default;
  // The screenshot store folder.
  virtual std::wstring GetSnapshotDirectory() const = 0;
  // "Users/<account>" while a user is signed in, else "Users/All Users".
  virtual std::wstring GetUserFolder() const = 0;
};

// One file of a shot.
struct ShotFile {
  uint32_t shot_id = 0;  // unique for the life of the process
  uint32_t index = 1;    // position in its record; always 1
  uint32_t position = 0;
  std::wstring file_name;  // without folder
};

struct ShotRecord {
  uint32_t position = 0;  // 1-based within the day, in listing order
  uint32_t day = 0;
  uint32_t location = 0;  // 0: directly in the game folder; 1: in a subfolder of it
  std::wstring folder;    // the folder that holds the file
  ShotFile file;
};

struct ShotDay {
  uint32_t day = 0;
  uint32_t month = 0;
  std::map<uint32_t, ShotRecord> shots;  // by position
};

struct ShotMonth {
  uint32_t month = 0;
  uint32_t year = 0;
  std::map<uint32_t, ShotDay> days;
};

struct ShotYear {
  uint32_t year = 0;
  std::wstring game_id;
  std::map<uint32_t, ShotMonth> months;
};

struct GameShots {
  std::wstring game_id;
  std::wstring display_id;
  std::wstring folder;
  std::map<uint32_t, ShotYear> years;
};

// An in-memory index of the JPEG screenshots of each game, by the local
// date on which each file was created. Built lazily per game from
// <store>/<user folder>/<game id> and its direct subfolders; nothing is
// written to disk. Owned by the logic holder; GUI thread only.
class ShotCatalogue {
 public:
  ShotCatalogue();
  ShotCatalogue(const ShotCatalogue&) = delete;
  ShotCatalogue& operator=(const ShotCatalogue&) = delete;

  void SetOwner(const IShotFolderSource* owner) { owner_ = owner; }

  // The game's index, built first when it is missing or empty; null when
  // there is nothing to build it from (no owner or no folder).
  GameShots* GetShotIndex(const std::wstring& game_id);
  // (Re)indexes the game from `folder`; does nothing when it is not a folder.
  void BuildShotIndex(const std::wstring& game_id, const std::wstring& folder);
  GameShots* FindGame(const std::wstring& game_id);
  // Empties one game's index (the next GetShotIndex rebuilds it).
  void ClearGameShots(const std::wstring& game_id);
  // Empties every game's index (a user signed out).
  void ClearAllShots();
  // The day, created with its year and month when absent; null when the
  // game has no record.
  ShotDay* GetDay(const std::wstring& game_id, uint32_t year, uint32_t month, uint32_t day);

  // <store>/<user folder>/<game id>; empty without an owner.
  std::wstring GameFolder(const std::wstring& game_id) const;

  // File systems without birth times cannot be given a date by a test.
  using CreationTimeSource = std::function<time_t(const brx::util::FindData&)>;
  void SetCreationTimeSourceForTesting(CreationTimeSource source) {
    creation_time_ = std::move(source);
  }

 private:
  void AddShot(GameShots* game, const brx::util::FindData& file, const std::wstring& folder,
               uint32_t location);

  const IShotFolderSource* owner_ = nullptr;
  std::map<std::wstring, GameShots> games_;
  CreationTimeSource creation_time_;
};

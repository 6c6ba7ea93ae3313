#include "client/core/shot_catalogue.h"

#include <atomic>
#include <cwctype>

#include "runtime/util/file_util.h"

namespace {

constexpr uint32_t kFirstShotId = 0x10000;

uint32_t NextShotId() {
  static std::atomic<uint32_t> counter{0};
  return kFirstShotId + counter.fetch_add(1);
}

bool IsJpeg(const std::wstring& name) {
  std::wstring ext = brx::util::GetFileExtension(name);
  if (ext.size() != 3) return false;
  return std::towlower(ext[0]) == L'j' && std::towlower(ext[1]) == L'p' &&
         std::towlower(ext[2]) == L'g';
}

}  // namespace

ShotCatalogue::ShotCatalogue()
    : creation_time_([](const brx::util::FindData& file) { return file.creation_time; }) {}

std::wstring ShotCatalogue::GameFolder(const std::wstring& game_id) const {
  if (!owner_) return L"";
  return owner_->GetSnapshotDirectory() + L"/" + owner_->GetUserFolder() + L"/" + game_id;
}

GameShots* ShotCatalogue::GetShotIndex(const std::wstring& game_id) {
  GameShots* game = FindGame(game_id);
  if (game && !game->years.empty()) return game;
  std::wstring folder = GameFolder(game_id);
  if (folder.empty() || !brx::util::IsDirectory(folder)) return nullptr;
  BuildShotIndex(game_id, folder);
  return FindGame(game_id);
}

void ShotCatalogue::BuildShotIndex(const std::wstring& game_id, const std::wstring& folder) {
  if (!brx::util::IsDirectory(folder)) return;
  auto it = games_.find(game_id);
  if (it == games_.end()) {
    it = games_.emplace(game_id, GameShots{game_id, game_id, folder, {}}).first;
  } else {
    it->second.years.clear();
  }
  GameShots* game = &it->second;

  brx::util::DirectoryNode tree;
  brx::util::BuildDirectoryTree(folder, &tree);
  for (const brx::util::FindData& file : tree.files) AddShot(game, file, folder, 0);
  for (const brx::util::DirectoryNode& sub : tree.children) {
    std::wstring sub_folder = folder + L"/" + sub.data.name;
    for (const brx::util::FindData& file : sub.files) AddShot(game, file, sub_folder, 1);
  }
}

void ShotCatalogue::AddShot(GameShots* game, const brx::util::FindData& file,
                            const std::wstring& folder, uint32_t location) {
  if (!IsJpeg(file.name)) return;
  time_t created = creation_time_(file);
  tm local{};
  if (!localtime_r(&created, &local)) return;
  ShotDay* day =
      GetDay(game->game_id, static_cast<uint32_t>(local.tm_year + 1900),
             static_cast<uint32_t>(local.tm_mon + 1), static_cast<uint32_t>(local.tm_mday));
  uint32_t position = static_cast<uint32_t>(day->shots.size()) + 1;
  ShotRecord shot;
  shot.position = position;
  shot.day = day->day;
  shot.location = location;
  shot.folder = folder;
  shot.file = ShotFile{NextShotId(), 1, position, file.name};
  day->shots.emplace(position, std::move(shot));
}

GameShots* ShotCatalogue::FindGame(const std::wstring& game_id) {
  auto it = games_.find(game_id);
  return it == games_.end() ? nullptr : &it->second;
}

void ShotCatalogue::ClearGameShots(const std::wstring& game_id) {
  if (GameShots* game = FindGame(game_id)) game->years.clear();
}

void ShotCatalogue::ClearAllShots() {
  for (auto& [id, game] : games_) game.years.clear();
}

ShotDay* ShotCatalogue::GetDay(const std::wstring& game_id, uint32_t year, uint32_t month,
                               uint32_t day) {
  GameShots* game = FindGame(game_id);
  if (!game) return nullptr;
  ShotYear& y = game->years[year];
  y.year = year;
  y.game_id = game->game_id;
  ShotMonth& m = y.months[month];
  m.month = month;
  m.year = year;
  ShotDay& d = m.days[day];
  d.day = day;
  d.month = month;
  return &d;
}

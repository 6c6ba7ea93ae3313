#include "client/core/shot_catalogue.h"

#include <sys/stat.h>

#include <ctime>
#include <map>

#include <gtest/gtest.h>

#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::TempDir;
using ombrix::test::WriteFile;

class FakeOwner : public IShotFolderSource {
 public:
  std::wstring GetSnapshotDirectory() const override { return store; }
  std::wstring GetUserFolder() const override { return user; }
  std::wstring store;
  std::wstring user = L"Users/All Users";
};

time_t LocalTime(int year, int month, int day, int hour = 12) {
  tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_isdst = -1;
  return mktime(&t);
}

class ShotCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_.store = brx::util::Utf8ToWide(dir_.Sub("OBSnapshot"));
    catalogue_.SetOwner(&owner_);
    // Birth times cannot be set; dates come from this table by file name.
    catalogue_.SetCreationTimeSourceForTesting([this](const brx::util::FindData& file) {
      auto it = dates_.find(file.name);
      return it == dates_.end() ? LocalTime(2026, 1, 1) : it->second;
    });
  }
  // Creates <store>/<user folder>/<game>/<relative>.
  void Shot(const std::string& game, const std::string& relative, time_t created,
            const std::string& user = "Users/All Users") {
    std::string path = dir_.Sub("OBSnapshot/" + user + "/" + game + "/" + relative);
    brx::util::CreateDirectories(brx::util::Utf8ToWide(path.substr(0, path.rfind('/'))));
    WriteFile(path, "jpeg");
    dates_[brx::util::Utf8ToWide(relative.substr(relative.rfind('/') + 1))] = created;
  }

  TempDir dir_;
  FakeOwner owner_;
  ShotCatalogue catalogue_;
  std::map<std::wstring, time_t> dates_;
};

TEST_F(ShotCatalogueTest, FilesAreIndexedByTheDayTheyWereCreated) {
  Shot("wow", "b.jpg", LocalTime(2026, 12, 8, 23));
  Shot("wow", "a.jpg", LocalTime(2026, 12, 8, 1));
  Shot("wow", "c.jpg", LocalTime(2025, 3, 31));
  GameShots* game = catalogue_.GetShotIndex(L"wow");
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->game_id, L"wow");
  EXPECT_EQ(game->folder, owner_.store + L"/Users/All Users/wow");
  ASSERT_EQ(game->years.size(), 2u);

  const ShotDay& december = game->years.at(2026).months.at(12).days.at(8);
  ASSERT_EQ(december.shots.size(), 2u);
  // Positions follow the listing (name) order, not the time of day.
  EXPECT_EQ(december.shots.at(1).file.file_name, L"a.jpg");
  EXPECT_EQ(december.shots.at(2).file.file_name, L"b.jpg");
  EXPECT_EQ(december.shots.at(2).position, 2u);
  EXPECT_EQ(december.shots.at(2).file.position, 2u);
  EXPECT_EQ(december.shots.at(2).file.index, 1u);
  EXPECT_EQ(december.shots.at(2).day, 8u);
  EXPECT_EQ(december.month, 12u);

  const ShotDay& march = game->years.at(2025).months.at(3).days.at(31);
  ASSERT_EQ(march.shots.size(), 1u);
  EXPECT_EQ(march.shots.at(1).file.file_name, L"c.jpg");
  EXPECT_EQ(game->years.at(2025).game_id, L"wow");
  EXPECT_EQ(game->years.at(2025).months.at(3).year, 2025u);
}

TEST_F(ShotCatalogueTest, OnlyJpegFilesOfTheFolderAndItsDirectSubfoldersCount) {
  Shot("wow", "shot.JPG", LocalTime(2026, 5, 1));
  Shot("wow", "shot.jpeg", LocalTime(2026, 5, 1));
  Shot("wow", "shot.png", LocalTime(2026, 5, 1));
  Shot("wow", "burst/1.jpg", LocalTime(2026, 5, 1));
  Shot("wow", "burst/deeper/2.jpg", LocalTime(2026, 5, 1));
  GameShots* game = catalogue_.GetShotIndex(L"wow");
  ASSERT_NE(game, nullptr);
  const ShotDay& day = game->years.at(2026).months.at(5).days.at(1);
  ASSERT_EQ(day.shots.size(), 2u);
  EXPECT_EQ(day.shots.at(1).file.file_name, L"shot.JPG");
  EXPECT_EQ(day.shots.at(1).location, 0u);
  EXPECT_EQ(day.shots.at(1).folder, game->folder);
  EXPECT_EQ(day.shots.at(2).file.file_name, L"1.jpg");
  EXPECT_EQ(day.shots.at(2).location, 1u);
  EXPECT_EQ(day.shots.at(2).folder, game->folder + L"/burst");
}

TEST_F(ShotCatalogueTest, ShotIdsGrowAcrossRebuilds) {
  Shot("wow", "a.jpg", LocalTime(2026, 5, 1));
  Shot("wow", "b.jpg", LocalTime(2026, 5, 1));
  GameShots* game = catalogue_.GetShotIndex(L"wow");
  ASSERT_NE(game, nullptr);
  const auto& first = game->years.at(2026).months.at(5).days.at(1).shots;
  uint32_t a = first.at(1).file.shot_id;
  uint32_t b = first.at(2).file.shot_id;
  EXPECT_GE(a, 0x10000u);
  EXPECT_NE(a, b);

  catalogue_.ClearGameShots(L"wow");
  EXPECT_NE(catalogue_.FindGame(L"wow"), nullptr);
  EXPECT_TRUE(catalogue_.FindGame(L"wow")->years.empty());
  game = catalogue_.GetShotIndex(L"wow");  // rebuilt
  ASSERT_NE(game, nullptr);
  const auto& again = game->years.at(2026).months.at(5).days.at(1).shots;
  EXPECT_GT(again.at(1).file.shot_id, std::max(a, b));
  EXPECT_GT(again.at(2).file.shot_id, again.at(1).file.shot_id);
}

TEST_F(ShotCatalogueTest, TheUserFolderChoosesWhoseShotsAreSeen) {
  Shot("wow", "mine.jpg", LocalTime(2026, 5, 1), "Users/alice");
  Shot("wow", "shared.jpg", LocalTime(2026, 5, 1));
  GameShots* signed_out = catalogue_.GetShotIndex(L"wow");
  ASSERT_NE(signed_out, nullptr);
  EXPECT_EQ(signed_out->years.at(2026).months.at(5).days.at(1).shots.at(1).file.file_name,
            L"shared.jpg");

  owner_.user = L"Users/alice";
  catalogue_.ClearAllShots();
  GameShots* alice = catalogue_.GetShotIndex(L"wow");
  ASSERT_NE(alice, nullptr);
  const ShotRecord& shot = alice->years.at(2026).months.at(5).days.at(1).shots.at(1);
  EXPECT_EQ(shot.file.file_name, L"mine.jpg");
  EXPECT_EQ(shot.folder, owner_.store + L"/Users/alice/wow");
}

TEST_F(ShotCatalogueTest, AGameWithoutFolderHasNoIndex) {
  EXPECT_EQ(catalogue_.GetShotIndex(L"nothing"), nullptr);
  EXPECT_EQ(catalogue_.FindGame(L"nothing"), nullptr);
  EXPECT_EQ(catalogue_.GetDay(L"nothing", 2026, 1, 1), nullptr);
  ShotCatalogue ownerless;
  EXPECT_EQ(ownerless.GetShotIndex(L"wow"), nullptr);
}

TEST_F(ShotCatalogueTest, GetDayCreatesTheDayWithItsYearAndMonth) {
  Shot("wow", "a.jpg", LocalTime(2026, 5, 1));
  ASSERT_NE(catalogue_.GetShotIndex(L"wow"), nullptr);
  ShotDay* day = catalogue_.GetDay(L"wow", 2024, 2, 29);
  ASSERT_NE(day, nullptr);
  EXPECT_EQ(day->day, 29u);
  EXPECT_EQ(day->month, 2u);
  EXPECT_TRUE(day->shots.empty());
  EXPECT_EQ(catalogue_.FindGame(L"wow")->years.at(2024).months.at(2).year, 2024u);
  EXPECT_EQ(catalogue_.GetDay(L"wow", 2024, 2, 29), day);
}

TEST(ShotCatalogueRealTimeTest, AFileJustCreatedIsDatedToday) {
  TempDir dir;
  FakeOwner owner;
  owner.store = brx::util::Utf8ToWide(dir.path());
  brx::util::CreateDirectories(owner.store + L"/Users/All Users/wow");
  auto date_of = [](time_t t) {
    tm local{};
    localtime_r(&t, &local);
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
  };
  int before = date_of(time(nullptr));
  WriteFile(dir.Sub("Users/All Users/wow/now.jpg"), "jpeg");
  ShotCatalogue catalogue;
  catalogue.SetOwner(&owner);
  GameShots* game = catalogue.GetShotIndex(L"wow");
  int after = date_of(time(nullptr));
  ASSERT_NE(game, nullptr);
  ASSERT_EQ(game->years.size(), 1u);
  const ShotYear& year = game->years.begin()->second;
  const ShotMonth& month = year.months.begin()->second;
  const ShotDay& day = month.days.begin()->second;
  int indexed = static_cast<int>(year.year * 10000 + month.month * 100 + day.day);
  EXPECT_TRUE(indexed == before || indexed == after) << indexed;
  EXPECT_EQ(day.shots.at(1).file.file_name, L"now.jpg");
}

}  // namespace

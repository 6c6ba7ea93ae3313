#include "client/core/game_config_set.h"

#include <sys/stat.h>
#include <tinyxml.h>

#include <clocale>
#include <cstdio>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/logmaker/log.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::PathExists;
using ombrix::test::ReadFile;
using ombrix::test::TempDir;
using ombrix::test::WriteFile;

std::string Gbk(const std::wstring& text) { return brx::util::WideToAnsi(text); }

// The log lines this process writes from the first use on.
class LogLines : public brx::logmaker::ILogWriter {
 public:
  static LogLines& Get() {
    static LogLines* lines = [] {
      auto writer = std::make_unique<LogLines>();
      LogLines* raw = writer.get();
      brx::logmaker::GetAppLogger()->AddWriter(std::move(writer));  // the logger owns it until exit
      return raw;
    }();
    return *lines;
  }
  void Write(const brx::logmaker::LogRecord& record) override { WriteText(record.line.c_str()); }
  void WriteText(const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(text);
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }
  int Count(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const std::string& line : lines_) n += line.find(text) != std::string::npos;
    return n;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

std::string GameFile(const std::string& id, const std::string& inner = "") {
  return "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\n<root><game id=\"" + id + "\">" + inner +
         "</game></root>\n";
}

class GameConfigSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogLines::Get().Clear();
    TiXmlBase::SetCondenseWhiteSpace(false);
    mkdir(dir_.Sub("OBSkin").c_str(), 0755);
    mkdir(dir_.Sub("OBSkin/other").c_str(), 0755);
    mkdir(dir_.Sub("games").c_str(), 0755);
  }
  std::wstring Folder() const { return brx::util::Utf8ToWide(dir_.path()); }
  std::unique_ptr<GameConfigSet> Load() {
    auto set = std::make_unique<GameConfigSet>(Folder(), L"other");
    EXPECT_TRUE(set->CheckSkinAndLoadGameConfigs(nullptr));
    return set;
  }

  TempDir dir_;
};

TEST_F(GameConfigSetTest, EveryGameKeyHasItsDefault) {
  auto set = Load();
  const std::wstring id = L"any";
  EXPECT_EQ(set->GetGameConfigValue(id, L"root.game:id", L""), L"");
  EXPECT_EQ(set->GetGameName(id), L"翎岚社区");
  EXPECT_EQ(set->GetOneShotKey(id), L"HOME");
  EXPECT_EQ(set->GetManyShotKey(id), L"END");
  EXPECT_EQ(set->GetRegionOneShotKey(id), L"INSERT");
  EXPECT_EQ(set->GetRegionManyShotKey(id), L"DELETE");
  EXPECT_EQ(set->GetShowHideKey(id), L"F10");
  EXPECT_EQ(set->GetQuickPublishKey(id), L"F1");
  EXPECT_EQ(set->GetManyShotDuration(id), 5);
  EXPECT_FLOAT_EQ(set->GetManyShotInterval(id), 0.3f);
  EXPECT_FALSE(set->IsTimeShotEnabled(id));
  EXPECT_EQ(set->GetTimeShotInterval(id), 5);
  EXPECT_EQ(set->GetQuality(id), 90);
  EXPECT_TRUE(set->IsExitWithGame(id));
  EXPECT_TRUE(set->IsExitWithGame());
}

TEST_F(GameConfigSetTest, EveryGameKeyRoundTripsThroughItsFile) {
  WriteFile(dir_.Sub("games/wow.xml"), GameFile("wow"));
  {
    auto set = Load();
    ASSERT_TRUE(set->HasGame(L"wow"));
    set->SetOneShotKey(L"wow", L"F2");
    set->SetManyShotKey(L"wow", L"F3");
    set->SetRegionOneShotKey(L"wow", L"F4");
    set->SetRegionManyShotKey(L"wow", L"F5");
    set->SetShowHideKey(L"wow", L"F6");
    set->SetQuickPublishKey(L"wow", L"F7");
    set->SetManyShotDuration(L"wow", 9);
    set->SetManyShotInterval(L"wow", 0.26f);
    set->SetTimeShotEnabled(L"wow", true);
    set->SetTimeShotInterval(L"wow", 30);
    set->SetQuality(L"wow", 75);
    set->SetExitWithGame(L"wow", false);
    set->SetGameConfigValue(L"wow", L"root.game:name", L"魔兽世界");
    set->Save();
  }
  auto set = Load();
  EXPECT_EQ(set->GetOneShotKey(L"wow"), L"F2");
  EXPECT_EQ(set->GetManyShotKey(L"wow"), L"F3");
  EXPECT_EQ(set->GetRegionOneShotKey(L"wow"), L"F4");
  EXPECT_EQ(set->GetRegionManyShotKey(L"wow"), L"F5");
  EXPECT_EQ(set->GetShowHideKey(L"wow"), L"F6");
  EXPECT_EQ(set->GetQuickPublishKey(L"wow"), L"F7");
  EXPECT_EQ(set->GetManyShotDuration(L"wow"), 9);
  EXPECT_EQ(set->GetGameConfigValue(L"wow", L"root.game.shortcut.manyshot.interval", L""), L"0.3");
  EXPECT_TRUE(set->IsTimeShotEnabled(L"wow"));
  EXPECT_EQ(set->GetTimeShotInterval(L"wow"), 30);
  EXPECT_EQ(set->GetQuality(L"wow"), 75);
  EXPECT_FALSE(set->IsExitWithGame(L"wow"));
  EXPECT_EQ(set->GetGameName(L"wow"), L"魔兽世界");
  std::string text = ReadFile(dir_.Sub("games/wow.xml"));
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\" ?>", 0), 0u)
      << text;
  EXPECT_NE(text.find(Gbk(L"魔兽世界")), std::string::npos);
}

TEST_F(GameConfigSetTest, IntervalIsWrittenWithOneDecimalPointInAnyLocale) {
  auto set = Load();
  // A comma-decimal locale, where installed, must not leak into the files.
  const char* comma = setlocale(LC_ALL, "de_DE.UTF-8");
  set->SetManyShotInterval(L"any", 0.26f);
  EXPECT_EQ(set->GetGameConfigValue(L"any", L"root.game.shortcut.manyshot.interval", L""), L"0.3");
  EXPECT_FLOAT_EQ(set->GetManyShotInterval(L"any"), 0.3f);
  set->SetManyShotInterval(L"any", 2.0f);
  EXPECT_EQ(set->GetGameConfigValue(L"any", L"root.game.shortcut.manyshot.interval", L""), L"2.0");
  if (comma) setlocale(LC_ALL, "C");
}

TEST_F(GameConfigSetTest, TheFallbackFileAnswersForGamesWithoutAFile) {
  WriteFile(dir_.Sub("games/other.xml"),
            GameFile("whatever", "<shortcut><quality>70</quality></shortcut>"));
  auto set = Load();
  EXPECT_EQ(set->GetQuality(L"unknown"), 70);
  EXPECT_EQ(set->GetOneShotKey(L"unknown"), L"HOME");  // not in the fallback: the default
  // Its id and name are the fallback's own, whatever the file says.
  EXPECT_EQ(set->GetGameConfigValue(L"unknown", L"root.game:id", L""), L"other");
  EXPECT_EQ(set->GetGameName(L"unknown"), L"翎岚社区");
}

TEST_F(GameConfigSetTest, ChangesMadeThroughTheFallbackAreSaved) {
  WriteFile(dir_.Sub("games/other.xml"),
            GameFile("other", "<shortcut><quality>70</quality></shortcut>"));
  {
    auto set = Load();
    ASSERT_TRUE(set->HasGame(L"other"));
    set->SetQuality(L"no-file-of-its-own", 55);
    set->SetShowHideKey(L"other", L"F11");
    set->Save();
  }
  auto set = Load();
  EXPECT_EQ(set->GetQuality(L"no-file-of-its-own"), 55);
  EXPECT_EQ(set->GetQuality(L"other"), 55);
  EXPECT_EQ(set->GetShowHideKey(L"no-file-of-its-own"), L"F11");
}

TEST_F(GameConfigSetTest, TheFallbackFileIsListedUnderItsOwnIdLikeAnyOtherGameFile) {
  WriteFile(dir_.Sub("games/other.xml"),
            GameFile("", "<shortcut><quality>70</quality></shortcut>"));
  {
    auto set = Load();
    std::vector<std::wstring> ids;
    set->GetGameIds(&ids);
    EXPECT_EQ(ids, std::vector<std::wstring>{});
    EXPECT_FALSE(set->HasGame(L"other"));
    EXPECT_EQ(LogLines::Get().Count("empty gameid in file[games/other.xml]"), 1);
    EXPECT_EQ(set->GetQuality(L"unknown"), 70);  // still the fallback
  }

  WriteFile(dir_.Sub("games/other.xml"),
            GameFile("mine", "<shortcut><quality>70</quality></shortcut>"));
  WriteFile(dir_.Sub("games/a.xml"), GameFile("dup"));
  WriteFile(dir_.Sub("games/p.xml"), GameFile("dup"));
  WriteFile(dir_.Sub("games/z.xml"), GameFile("last"));
  auto set = Load();
  std::vector<std::wstring> ids;
  set->GetGameIds(&ids);
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"dup", L"last", L"mine"}));
  EXPECT_FALSE(set->HasGame(L"other"));
  EXPECT_EQ(set->GetGameConfigValue(L"mine", L"root.game:id", L""), L"mine");
  EXPECT_EQ(set->GetGameConfigValue(L"unknown", L"root.game:id", L""), L"other");
  EXPECT_EQ(LogLines::Get().Count("same gameid in file[games/p.xml]"), 1);

  // One document behind both names, written once, keeping the file's own id.
  set->SetQuality(L"mine", 61);
  set->SetOneShotKey(L"unknown", L"F9");
  set->Save();
  auto again = Load();
  EXPECT_EQ(again->GetQuality(L"mine"), 61);
  EXPECT_EQ(again->GetOneShotKey(L"mine"), L"F9");
  EXPECT_EQ(again->GetOneShotKey(L"unknown"), L"F9");
  EXPECT_TRUE(again->HasGame(L"mine"));
}

TEST_F(GameConfigSetTest, TheFallbackFileIsSavedWithTheDeclarationOfEveryGameFile) {
  WriteFile(dir_.Sub("games/other.xml"),
            "<root><game id=\"other\" name=\"" + Gbk(L"别名") + "\" /></root>");
  {
    auto set = Load();
    set->SetQuality(L"unknown", 66);
    set->Save();
  }
  std::string text = ReadFile(dir_.Sub("games/other.xml"));
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\" ?>", 0), 0u)
      << text;
  EXPECT_NE(text.find("<quality>66</quality>"), std::string::npos) << text;
  // The file keeps its own name; only readers through the fallback see the fixed one.
  EXPECT_NE(text.find(Gbk(L"别名")), std::string::npos) << text;
  auto set = Load();
  EXPECT_EQ(set->GetGameName(L"other"), L"别名");
  EXPECT_EQ(set->GetGameName(L"unknown"), L"翎岚社区");

  // A fallback that starts from nothing gets it too.
  std::remove(dir_.Sub("games/other.xml").c_str());
  auto fresh = Load();
  fresh->SetQuality(L"unknown", 44);
  fresh->Save();
  text = ReadFile(dir_.Sub("games/other.xml"));
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\" ?>", 0), 0u)
      << text;
}

TEST_F(GameConfigSetTest, AFallbackWithoutFileIsWrittenOnlyOnceItHoldsSomething) {
  {
    auto set = Load();
    set->Save();
    EXPECT_FALSE(PathExists(dir_.Sub("games/other.xml")));
    set->SetQuality(L"unknown", 60);
    set->Save();
  }
  ASSERT_TRUE(PathExists(dir_.Sub("games/other.xml")));
  auto set = Load();
  EXPECT_EQ(set->GetQuality(L"unknown"), 60);
}

TEST_F(GameConfigSetTest, BrokenEmptyAndDuplicateFilesAreSkipped) {
  WriteFile(dir_.Sub("games/a.xml"), GameFile("dup", "<shortcut><quality>11</quality></shortcut>"));
  WriteFile(dir_.Sub("games/b.xml"), GameFile("dup", "<shortcut><quality>22</quality></shortcut>"));
  WriteFile(dir_.Sub("games/c.xml"), "<root><game id=\"broken\"><shortcut></root>");
  WriteFile(dir_.Sub("games/d.xml"), GameFile(""));
  WriteFile(dir_.Sub("games/e.txt"), GameFile("text"));
  mkdir(dir_.Sub("games/sub").c_str(), 0755);
  WriteFile(dir_.Sub("games/sub/f.xml"), GameFile("nested"));
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  WriteFile(dir_.Sub("games/g.xml"), GameFile("deep", deep));  // would overflow the parser's stack
  auto set = Load();
  std::vector<std::wstring> ids;
  set->GetGameIds(&ids);
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"dup"}));
  EXPECT_EQ(set->GetQuality(L"dup"), 11);  // the first file listed keeps the id
  EXPECT_FALSE(set->HasGame(L"broken"));
  EXPECT_FALSE(set->HasGame(L"nested"));
  EXPECT_FALSE(set->HasGame(L"deep"));

  std::string broken = ReadFile(dir_.Sub("games/c.xml"));
  set->Save();
  EXPECT_EQ(ReadFile(dir_.Sub("games/c.xml")), broken);  // skipped files are never rewritten
  EXPECT_EQ(ReadFile(dir_.Sub("games/b.xml")),
            GameFile("dup", "<shortcut><quality>22</quality></shortcut>"));
}

TEST_F(GameConfigSetTest, GameIdsAreListedInKeyOrder) {
  WriteFile(dir_.Sub("games/1.xml"), GameFile("zeta"));
  WriteFile(dir_.Sub("games/2.xml"), GameFile("alpha"));
  WriteFile(dir_.Sub("games/other.xml"), GameFile("other"));
  auto set = Load();
  std::vector<std::wstring> ids;
  set->GetGameIds(&ids);
  EXPECT_EQ(ids, (std::vector<std::wstring>{L"alpha", L"other", L"zeta"}));
  EXPECT_TRUE(set->HasGame(L"alpha"));
  EXPECT_FALSE(set->HasGame(L"Alpha"));  // ids are exact
}

TEST_F(GameConfigSetTest, SkinCheckNeedsAGameIdAndItsSkinFolder) {
  GameConfigSet no_id(Folder(), L"");
  EXPECT_FALSE(no_id.CheckSkinAndLoadGameConfigs(nullptr));
  GameConfigSet no_skin(Folder(), L"wow");
  EXPECT_FALSE(no_skin.CheckSkinAndLoadGameConfigs(nullptr));
  WriteFile(dir_.Sub("OBSkin/file"), "not a folder");
  GameConfigSet file_skin(Folder(), L"file");
  EXPECT_FALSE(file_skin.CheckSkinAndLoadGameConfigs(nullptr));
  GameConfigSet ok(Folder(), L"other");
  EXPECT_TRUE(ok.CheckSkinAndLoadGameConfigs(nullptr));
  EXPECT_EQ(ok.SkinFolder(), Folder() + L"/OBSkin/other");
}

}  // namespace

TEST_F(GameConfigSetTest, AnIdLessFallbackFileBecomesTheGameOtherAtItsFirstSave) {
  WriteFile(dir_.Sub("games/other.xml"),
            GameFile("", "<shortcut><quality>70</quality></shortcut>"));
  {
    auto set = Load();
    EXPECT_FALSE(set->HasGame(L"other"));
    set->SetTimeShotEnabled(L"other", true);
    set->Save();
    EXPECT_TRUE(set->HasGame(L"other"));
  }
  EXPECT_EQ(LogLines::Get().Count("empty gameid in file[games/other.xml]"), 1);
  auto set = Load();
  EXPECT_EQ(LogLines::Get().Count("empty gameid in file[games/other.xml]"), 1);  // not again
  EXPECT_TRUE(set->HasGame(L"other"));
  EXPECT_EQ(set->GetGameName(L"other"), L"翎岚社区");
  EXPECT_EQ(set->GetQuality(L"other"), 70);
  EXPECT_TRUE(set->IsTimeShotEnabled(L"other"));

  // A file that already claims the id keeps it; the fallback stays id-less.
  WriteFile(dir_.Sub("games/other.xml"),
            GameFile("", "<shortcut><quality>71</quality></shortcut>"));
  WriteFile(dir_.Sub("games/b.xml"), GameFile("other"));
  set = Load();
  set->SetQuality(L"unknown", 72);
  set->Save();
  EXPECT_EQ(ReadFile(dir_.Sub("games/other.xml")).find("id=\"other\""), std::string::npos);
}

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <regex>
#include <sstream>
#include <thread>

#include "runtime/logmaker/log.h"
#include "runtime/logmaker/log_layout_normal.h"
#include "runtime/logmaker/log_writer_file.h"
#include "tests/support/test_support.h"

namespace brx::logmaker {
namespace {

using ombrix::test::TempDir;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) out.push_back(line);
  return out;
}

TEST(LogLayoutTest, PrefixPadsWithBlanks) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 8;
  t.tm_hour = 7;
  t.tm_min = 5;
  t.tm_sec = 9;
  EXPECT_EQ(LogLayoutNormal::FormatPrefix(1234, t), "[1234  ][2026.12. 8- 7: 5: 9]");
  EXPECT_EQ(std::string(LevelTag(kInfo)), "[INFO ]");
  EXPECT_EQ(std::string(LevelTag(kWarn)), "[WARN ]");
  EXPECT_EQ(std::string(LevelTag(kFatal)), "[FATAL]");
}

TEST(LogLayoutTest, FileNameCarriesTheImageName) {
  LogLayoutNormal layout;
  EXPECT_EQ(layout.FolderName(), "Log");
  EXPECT_EQ(layout.FileName(L""), L"runtime_logmaker_test.log");
  EXPECT_EQ(layout.FileName(L"x"), L"runtime_logmaker_test-x.log");
}

TEST(LogWriterFileTest, BannerLinesAndCloseMarker) {
  TempDir dir;
  std::string path = dir.Sub("a.log");
  {
    Logger logger;
    logger.SetLayout(std::make_unique<LogLayoutNormal>());
    logger.AddWriter(std::make_unique<LogWriterFile>(path));
    logger.Write(kWarn, "hello\n");
  }
  std::string text = ombrix::test::ReadFile(path);
  auto lines = Lines(text);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], std::string(50, '*'));
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(" {15}\\[\\d{4}\\.\\d+\\.\\d+-\\d+:\\d+:\\d+\\]\\[RELEASE\\]")))
      << lines[1];
  EXPECT_EQ(lines[2], std::string(50, '*'));
  EXPECT_TRUE(std::regex_match(lines[3], std::regex("\\[WARN \\]\\[\\d+ *\\]\\[\\d{4}\\.[ \\d]\\d\\.[ \\d]\\d-[ \\d]\\d:[ \\d]\\d:[ \\d]\\d\\]hello")))
      << lines[3];
  EXPECT_EQ(text.substr(text.size() - 5), "\n\n\n\n\n");
}

TEST(LogWriterFileTest, SizeRuleAtOpening) {
  TempDir dir;
  std::string kept = dir.Sub("kept.log"), emptied = dir.Sub("emptied.log");
  ombrix::test::WriteFile(kept, std::string(LogWriterFile::kMaxSizeKept, 'k'));
  ombrix::test::WriteFile(emptied, std::string(LogWriterFile::kMaxSizeKept + 1, 'e'));
  { LogWriterFile a(kept), b(emptied); }
  std::string k = ombrix::test::ReadFile(kept), e = ombrix::test::ReadFile(emptied);
  EXPECT_EQ(k.substr(0, LogWriterFile::kMaxSizeKept), std::string(LogWriterFile::kMaxSizeKept, 'k'));
  EXPECT_GT(k.size(), static_cast<size_t>(LogWriterFile::kMaxSizeKept));
  EXPECT_EQ(e.find('e'), std::string::npos);
  EXPECT_EQ(e.substr(0, 50), std::string(50, '*'));
}

TEST(LogWriterFileTest, MissingFolderMeansNoLogAndNoCrash) {
  TempDir dir;
  LogWriterFile w(dir.Sub("missing/x.log"));
  EXPECT_FALSE(w.is_open());
  w.WriteText("ignored");
}

TEST(LoggerTest, ConcurrentWritersNeverInterleave) {
  TempDir dir;
  std::string path = dir.Sub("c.log");
  {
    Logger logger;
    logger.AddWriter(std::make_unique<LogWriterFile>(path));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
      threads.emplace_back([&, t] {
        for (int i = 0; i < 500; ++i)
          logger.Write(kError, "thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                                   std::string(100, static_cast<char>('a' + t)) + "\n");
      });
    for (auto& th : threads) th.join();
  }
  int count = 0;
  std::regex line("\\[ERROR\\]thread (\\d) line \\d+ ([a-h])\\2{99}");
  for (const std::string& l : Lines(ombrix::test::ReadFile(path))) {
    if (l.rfind("[ERROR]", 0) != 0) continue;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(l, m, line)) << l;
    EXPECT_EQ(m[2].str()[0], 'a' + std::stoi(m[1].str()));
    ++count;
  }
  EXPECT_EQ(count, 8 * 500);
}

TEST(LoggerTest, CloseStopsWritingWithoutFreeing) {
  TempDir dir;
  std::string path = dir.Sub("x.log");
  Logger logger;
  logger.AddWriter(std::make_unique<LogWriterFile>(path));
  logger.Close();
  logger.Write(kWarn, "after close\n");
  EXPECT_EQ(ombrix::test::ReadFile(path).find("after close"), std::string::npos);
}

std::string Narrow(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = FormatNarrow(fmt, ap);
  va_end(ap);
  return s;
}
std::wstring Wide(const wchar_t* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::wstring s = FormatWide(fmt, ap);
  va_end(ap);
  return s;
}

TEST(FrontEndTest, LongTextIsCutAt40959) {
  std::string big(50000, 'n');
  std::wstring wbig(50000, L'w');
  EXPECT_EQ(Narrow("%s", big.c_str()).size(), kMaxLogText);
  EXPECT_EQ(Wide(L"%ls", wbig.c_str()).size(), kMaxLogText);
  EXPECT_EQ(Wide(L"%ls:%d:%ls\n", L"Fn", 380, L"\u7fce"), L"Fn:380:\u7fce\n");
}

TEST(FrontEndTest, FirstLogCreatesFolderAndFile) {
  // The application log lands beside this test program.
  std::string path = AppLogPath();
  LogError(L"%ls:%d:front end check %ls\n", L"FrontEndTest", 1, L"\u5c9a");
  std::string text = ombrix::test::ReadFile(path);
  EXPECT_NE(text.find("[ERROR]"), std::string::npos);
  EXPECT_NE(text.find("FrontEndTest:1:front end check \xe5\xb2\x9a\n"), std::string::npos);
  EXPECT_NE(path.find("/Log/--c--runtime_logmaker_test.log"), std::string::npos) << path;
}

}  // namespace
}  // namespace brx::logmaker

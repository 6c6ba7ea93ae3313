#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>

#include "runtime/logmaker/log.h"
#include "runtime/logmaker/log_layout_normal.h"
#include "runtime/logmaker/log_writer_file.h"
#include "runtime/platform/process.h"
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
  EXPECT_TRUE(std::regex_match(
      lines[1], std::regex(" {15}\\[\\d{4}\\.\\d+\\.\\d+-\\d+:\\d+:\\d+\\]\\[RELEASE\\]")))
      << lines[1];
  EXPECT_EQ(lines[2], std::string(50, '*'));
  EXPECT_TRUE(
      std::regex_match(lines[3], std::regex("\\[WARN \\]\\[\\d+ *\\]\\[\\d{4}\\.[ \\d]\\d\\.[ "
                                            "\\d]\\d-[ \\d]\\d:[ \\d]\\d:[ \\d]\\d\\]hello")))
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
  EXPECT_EQ(k.substr(0, LogWriterFile::kMaxSizeKept),
            std::string(LogWriterFile::kMaxSizeKept, 'k'));
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

TEST(LogWriterFileTest, ALinkInPlaceOfTheLogIsNeverFollowed) {
  // A link where the log should be could make the size rule empty, or the
  // mode rule close, a file the program does not own.
  TempDir dir;
  std::string target = dir.Sub("notes.txt"), link = dir.Sub("x.log");
  const std::string notes(LogWriterFile::kMaxSizeKept + 1, 'n');
  ombrix::test::WriteFile(target, notes);
  chmod(target.c_str(), 0644);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  {
    LogWriterFile w(link);
    EXPECT_FALSE(w.is_open());
    w.WriteText("ignored");
  }
  EXPECT_EQ(ombrix::test::ReadFile(target), notes);
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
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

TEST(FrontEndTest, FirstLogCallCreatesTheFolderAndTheNamedFile) {
  // A program of its own in a fresh folder, beside the edition library.
  TempDir dir;
  std::filesystem::copy_file(ombrix::test::BinaryDir() + "/tests/runtime/log_probe",
                             dir.Sub("log_probe"));
  std::filesystem::copy_file(ombrix::test::DistDir() + "/OBVerCustom.dll",
                             dir.Sub("OBVerCustom.dll"));
  auto probe = brx::platform::ChildProcess::Spawn({dir.Sub("log_probe"), {}, ""});
  ASSERT_TRUE(probe);
  int status = -1;
  ASSERT_TRUE(probe->Wait(20000, &status));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::string text = ombrix::test::ReadFile(dir.Sub("Log/2.3.109.05--c--log_probe.log"));
  auto lines = Lines(text);
  ASSERT_EQ(lines.size(), 4u + 4u)
      << text;  // banner, the line, and the four line ends of the close
  EXPECT_TRUE(std::regex_match(
      lines[3],
      std::regex(
          "\\[ERROR\\]\\[\\d+ *\\]\\[[^\\]]+\\]log_probe:1:first line \xe7\xbf\x8e\xe5\xb2\x9a")))
      << lines[3];
}

TEST(FrontEndTest, ALinkedLogFolderKeepsItsTargetsMode) {
  TempDir dir;
  std::filesystem::copy_file(ombrix::test::BinaryDir() + "/tests/runtime/log_probe",
                             dir.Sub("log_probe"));
  std::filesystem::copy_file(ombrix::test::DistDir() + "/OBVerCustom.dll",
                             dir.Sub("OBVerCustom.dll"));
  std::filesystem::create_directory(dir.Sub("shared"));
  chmod(dir.Sub("shared").c_str(), 0755);
  ASSERT_EQ(symlink(dir.Sub("shared").c_str(), dir.Sub("Log").c_str()), 0);
  auto probe = brx::platform::ChildProcess::Spawn({dir.Sub("log_probe"), {}, ""});
  ASSERT_TRUE(probe);
  int status = -1;
  ASSERT_TRUE(probe->Wait(20000, &status));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  struct stat st {};
  ASSERT_EQ(stat(dir.Sub("shared").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

// Collects what the application logger writes, for the life of the object.
class CaptureWriter : public ILogWriter {
 public:
  explicit CaptureWriter(std::vector<std::string>* lines, std::mutex* mutex)
      : lines_(lines), mutex_(mutex) {}
  void Write(const LogRecord& record) override {
    std::lock_guard<std::mutex> lock(*mutex_);
    lines_->push_back(record.line);
  }
  void WriteText(const char*) override {}

 private:
  std::vector<std::string>* lines_;
  std::mutex* mutex_;
};

TEST(FrontEndTest, ThreadsFormattingAtOnceNeverMixTheirText) {
  std::vector<std::string> lines;
  std::mutex mutex;
  GetAppLogger()->AddWriter(std::make_unique<CaptureWriter>(&lines, &mutex));
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t] {
      std::wstring mine(200, static_cast<wchar_t>(L'a' + t));
      std::string narrow(200, static_cast<char>('A' + t));
      for (int i = 0; i < 300; ++i) {
        LogWarn(L"w%d:%ls:%d\n", t, mine.c_str(), i);
        LogWarnA("n%d:%s:%d\n", t, narrow.c_str(), i);
      }
    });
  for (auto& th : threads) th.join();
  std::lock_guard<std::mutex> lock(mutex);
  int wide = 0, narrow = 0;
  std::regex line("\\[WARN \\]\\[\\d+ *\\]\\[[^\\]]+\\]([wn])(\\d):(.+):\\d+\n");
  for (const std::string& l : lines) {
    std::smatch m;
    if (!std::regex_match(l, m, line)) continue;
    int t = std::stoi(m[2].str());
    char expect = m[1].str() == "w" ? static_cast<char>('a' + t) : static_cast<char>('A' + t);
    EXPECT_EQ(m[3].str(), std::string(200, expect)) << l;
    (m[1].str() == "w" ? wide : narrow)++;
  }
  EXPECT_EQ(wide, 8 * 300);
  EXPECT_EQ(narrow, 8 * 300);
}

}  // namespace
}  // namespace brx::logmaker

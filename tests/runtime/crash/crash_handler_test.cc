#include "runtime/util/crash_handler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <regex>

#include "runtime/platform/process.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::TempDir;

// Runs the crasher from its own folder (the report lands beside it) and
// returns its exit status.
struct CrashRun {
  int status = -1;
  std::vector<std::string> reports;
  std::string marker;
};

CrashRun RunCrasher(const TempDir& dir, const std::string& mode,
                    const std::string& folder = "bin") {
  std::filesystem::create_directories(dir.Sub(folder));
  std::string exe = dir.Sub(folder + "/crasher");
  if (!ombrix::test::PathExists(exe))
    std::filesystem::copy_file(ombrix::test::BinaryDir() + "/tests/runtime/crasher", exe);
  CrashRun run;
  auto child = brx::platform::ChildProcess::Spawn({exe, {mode, dir.Sub("marker")}, ""});
  EXPECT_TRUE(child);
  if (!child) return run;
  EXPECT_TRUE(child->Wait(20000, &run.status));
  for (const auto& e : std::filesystem::directory_iterator(dir.Sub(folder)))
    if (e.path().extension() == ".dmp") run.reports.push_back(e.path());
  run.marker = ombrix::test::ReadFile(dir.Sub("marker"));
  return run;
}

TEST(CrashHandlerTest, SegfaultWritesNamedReportAndCallsBack) {
  TempDir dir;
  CrashRun run = RunCrasher(dir, "segv");
  ASSERT_TRUE(WIFEXITED(run.status)) << run.status;
  EXPECT_EQ(WEXITSTATUS(run.status), 0);
  ASSERT_EQ(run.reports.size(), 1u);
  std::string name = std::filesystem::path(run.reports[0]).filename();
  EXPECT_TRUE(std::regex_match(
      name,
      std::regex(R"(9\.9\.9\.crasher\.\d{4}-\d{1,2}-\d{1,2}-\d{1,2}\.\d{1,2}\.\d{1,2}\.dmp)")))
      << name;
  EXPECT_EQ(run.marker, run.reports[0] + "\n");
  struct stat st {};
  ASSERT_EQ(stat(run.reports[0].c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // registers and the memory map are the user's only
  std::string report = ombrix::test::ReadFile(run.reports[0]);
  EXPECT_NE(report.find("signal: 11"), std::string::npos);
  EXPECT_TRUE(std::regex_search(report, std::regex("address: 0x[0-9a-f]{4,}\n")))
      << report.substr(0, 300);
  EXPECT_NE(report.find("rip 0x"), std::string::npos);
  EXPECT_NE(report.find("backtrace:"), std::string::npos);
  EXPECT_NE(report.find("maps:"), std::string::npos);
  EXPECT_NE(report.find("[stack]"), std::string::npos);
}

TEST(CrashHandlerTest, UncaughtExceptionOnAWorkerIsReportedWithWhatItSaid) {
  TempDir dir;
  CrashRun run = RunCrasher(dir, "throw");
  ASSERT_EQ(run.reports.size(), 1u);
  std::string report = ombrix::test::ReadFile(run.reports[0]);
  EXPECT_NE(report.find("signal: 6"), std::string::npos);
  EXPECT_NE(report.find("runtime_error: uncaught on a worker\n"), std::string::npos)
      << report.substr(0, 400);
  EXPECT_EQ(run.marker, run.reports[0] + "\n");
}

TEST(CrashHandlerTest, AFaultInsideTheHandlerEndsTheProcessInsteadOfHanging) {
  TempDir dir;
  CrashRun run = RunCrasher(dir, "fault-in-callback");
  ASSERT_TRUE(WIFEXITED(run.status)) << run.status;
  EXPECT_EQ(WEXITSTATUS(run.status), 128 + SIGSEGV);
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_EQ(run.marker, run.reports[0] + "\n");  // the callback ran once
}

TEST(CrashHandlerTest, TwoThreadsCrashingAtOnceGiveOneReport) {
  TempDir dir;
  CrashRun run = RunCrasher(dir, "two-threads");
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
  ASSERT_EQ(run.reports.size(), 1u);
  EXPECT_EQ(run.marker, run.reports[0] + "\n");  // one callback only
}

TEST(CrashHandlerTest, ReportThatCannotBeWrittenStillCallsBack) {
  TempDir dir;
  std::filesystem::create_directories(dir.Sub("gone"));
  std::filesystem::copy_file(ombrix::test::BinaryDir() + "/tests/runtime/crasher",
                             dir.Sub("gone/crasher"));
  auto child = brx::platform::ChildProcess::Spawn(
      {dir.Sub("gone/crasher"), {"orphan", dir.Sub("marker")}, ""});
  ASSERT_TRUE(child);
  int status = -1;
  ASSERT_TRUE(child->Wait(20000, &status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(ombrix::test::PathExists(dir.Sub("gone")));
  std::string marker = ombrix::test::ReadFile(dir.Sub("marker"));
  EXPECT_EQ(marker.rfind(dir.Sub("gone/9.9.9.crasher."), 0), 0u) << marker;
}

}  // namespace

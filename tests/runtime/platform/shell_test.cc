#include "runtime/platform/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "tests/support/test_support.h"

namespace brx::platform {
namespace {

using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;
using ombrix::test::WaitUntil;
using ombrix::test::WriteFile;

// An address with every character a shell would act on reaches the opener
// as one unchanged argument, and nothing in it runs.
TEST(DesktopShellTest, TheOpenerGetsTheTargetAsOneUnchangedArgument) {
  TempDir dir;
  std::string out = dir.Sub("opened");
  std::string marker = dir.Sub("injected");
  WriteFile(dir.Sub("xdg-open"), "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + out +
                                     ".tmp' && mv '" + out + ".tmp' '" + out + "'\n");
  chmod(dir.Sub("xdg-open").c_str(), 0755);
  ScopedEnv path("PATH", dir.path() + ":" + getenv("PATH"));

  std::string url =
      "http://127.0.0.1/a b?x=\"1\"&y=$(touch " + marker + ")`touch " + marker + "`;'q'";
  std::unique_ptr<Shell> shell = CreateDesktopShell();
  ASSERT_TRUE(shell->OpenUrl(url));
  ASSERT_TRUE(WaitUntil([&] { return ombrix::test::PathExists(out); }));
  EXPECT_EQ(ReadFile(out), "1|" + url);
  EXPECT_FALSE(ombrix::test::PathExists(marker));
  EXPECT_FALSE(shell->OpenFile(""));
}

TEST(DesktopEntryTest, ExecWordsSurviveQuotingAndTheFileIsALauncher) {
  TempDir dir;
  DesktopEntry entry;
  entry.name = "Ombrix\nInjected=1";
  entry.exec = dir.Sub("my games/Ombrix.exe");
  entry.args = {"--gui", "100% \"sure\" $HOME `x` \\n", ""};
  entry.working_directory = dir.Sub("my games");
  std::string path = dir.Sub("ombrix.desktop");
  ASSERT_TRUE(WriteDesktopEntry(path, entry));

  std::vector<std::string> expected = {entry.exec, "--gui", entry.args[1], ""};
  EXPECT_EQ(ReadDesktopEntryCommand(path), expected);
  std::string text = ReadFile(path);
  EXPECT_EQ(text.find("\nInjected=1"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);

  EXPECT_TRUE(ReadDesktopEntryCommand(dir.Sub("missing.desktop")).empty());
  EXPECT_FALSE(WriteDesktopEntry(path, DesktopEntry{}));
}

TEST(RecordingShellTest, RecordsInOrderAndOpensNothing) {
  RecordingShell shell;
  EXPECT_TRUE(shell.OpenUrl("http://x/"));
  EXPECT_TRUE(shell.OpenFile("/tmp/a.png"));
  auto requests = shell.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].kind, RecordingShell::Request::Kind::kUrl);
  EXPECT_EQ(requests[1].target, "/tmp/a.png");
}

}  // namespace
}  // namespace brx::platform

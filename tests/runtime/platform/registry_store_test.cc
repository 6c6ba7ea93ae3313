#include "runtime/platform/registry_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/test_support.h"

namespace brx::platform::registry {
namespace {

using ombrix::test::ScopedEnv;
using ombrix::test::TempDir;

class RegistryStoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedEnv registry_{"OMBRIX_REGISTRY_DIR", dir_.Sub("registry")};
  ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Sub("config")};
};

TEST_F(RegistryStoreTest, ValuesRoundTripWithTypesAndCaseInsensitiveKeys) {
  const std::string key = "SOFTWARE\\Dorsk\\Ombrix\\OB-DEMO";
  ASSERT_TRUE(WriteString(Hive::kLocalMachine, key, "Directory", "/opt/ombrix  two  spaces\nline"));
  ASSERT_TRUE(WriteDword(Hive::kLocalMachine, key, "InstallHook", 1));
  ASSERT_TRUE(WriteString(Hive::kLocalMachine, key, "Empty", ""));
  std::string s;
  uint32_t d = 0;
  EXPECT_TRUE(ReadString(Hive::kLocalMachine, "software\\DORSK\\ombrix\\ob-demo", "directory", &s));
  EXPECT_EQ(s, "/opt/ombrix  two  spaces\nline");
  EXPECT_TRUE(ReadDword(Hive::kLocalMachine, key, "InstallHook", &d));
  EXPECT_EQ(d, 1u);
  EXPECT_TRUE(ReadString(Hive::kLocalMachine, key, "Empty", &s));
  EXPECT_EQ(s, "");
  // Types are kept apart.
  EXPECT_FALSE(ReadDword(Hive::kLocalMachine, key, "Directory", &d));
  EXPECT_FALSE(ReadString(Hive::kLocalMachine, key, "InstallHook", &s));
  // Overwrite keeps one value.
  ASSERT_TRUE(WriteDword(Hive::kLocalMachine, key, "InstallHook", 0));
  EXPECT_TRUE(ReadDword(Hive::kLocalMachine, key, "InstallHook", &d));
  EXPECT_EQ(d, 0u);
}

TEST_F(RegistryStoreTest, HivesAreSeparate) {
  ASSERT_TRUE(WriteString(Hive::kCurrentUser, "SOFTWARE\\A", "v", "user"));
  std::string s;
  EXPECT_FALSE(ReadString(Hive::kLocalMachine, "SOFTWARE\\A", "v", &s));
  ASSERT_TRUE(WriteString(Hive::kLocalMachine, "SOFTWARE\\A", "v", "machine"));
  EXPECT_TRUE(ReadString(Hive::kCurrentUser, "SOFTWARE\\A", "v", &s));
  EXPECT_EQ(s, "user");
  EXPECT_NE(HiveFilePath(Hive::kCurrentUser), HiveFilePath(Hive::kLocalMachine));
}

TEST_F(RegistryStoreTest, DeleteValueAndKey) {
  ASSERT_TRUE(WriteString(Hive::kCurrentUser, "SOFTWARE\\Dorsk\\Ombrix\\K", "a", "1"));
  ASSERT_TRUE(WriteString(Hive::kCurrentUser, "SOFTWARE\\Dorsk\\Ombrix\\K\\Sub", "b", "2"));
  EXPECT_TRUE(DeleteValue(Hive::kCurrentUser, "SOFTWARE\\Dorsk\\Ombrix\\K", "a"));
  EXPECT_FALSE(DeleteValue(Hive::kCurrentUser, "SOFTWARE\\Dorsk\\Ombrix\\K", "a"));
  EXPECT_TRUE(DeleteKey(Hive::kCurrentUser, "SOFTWARE\\Dorsk\\Ombrix\\K"));
  EXPECT_FALSE(KeyExists(Hive::kCurrentUser, "SOFTWARE\\Dorsk\\Ombrix\\K\\Sub"));
  EXPECT_TRUE(KeyExists(Hive::kCurrentUser, "SOFTWARE\\Dorsk\\Ombrix"));
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 40;
  pid_t pids[2];
  for (int p = 0; p < 2; ++p) {
    pids[p] = fork();
    if (pids[p] == 0) {
      for (int i = 0; i < kWrites; ++i)
        if (!WriteDword(Hive::kCurrentUser, "SOFTWARE\\Race",
                        "p" + std::to_string(p) + "_" + std::to_string(i),
                        static_cast<uint32_t>(i)))
          _exit(1);
      _exit(0);
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kWrites; ++i) {
      uint32_t v = 999;
      ASSERT_TRUE(ReadDword(Hive::kCurrentUser, "SOFTWARE\\Race",
                            "p" + std::to_string(p) + "_" + std::to_string(i), &v));
      EXPECT_EQ(v, static_cast<uint32_t>(i));
    }
  }
}

TEST_F(RegistryStoreTest, CorruptHiveIsReportedNotOverwritten) {
  ASSERT_TRUE(WriteString(Hive::kCurrentUser, "SOFTWARE\\A", "v", "x"));
  ombrix::test::WriteFile(HiveFilePath(Hive::kCurrentUser), "<registry><key name=");
  std::string s;
  EXPECT_FALSE(ReadString(Hive::kCurrentUser, "SOFTWARE\\A", "v", &s));
  EXPECT_FALSE(WriteString(Hive::kCurrentUser, "SOFTWARE\\A", "v", "y"));
  EXPECT_EQ(ombrix::test::ReadFile(HiveFilePath(Hive::kCurrentUser)), "<registry><key name=");
}

TEST_F(RegistryStoreTest, RunValueIsMirroredToAutostart) {
  const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  std::string desktop = dir_.Sub("config/autostart/Ombrix.desktop");
  ASSERT_TRUE(WriteString(Hive::kLocalMachine, run, "Ombrix", "/opt/my ombrix/Ombrix.exe"));
  std::string text = ombrix::test::ReadFile(desktop);
  EXPECT_NE(text.find("Exec=\"/opt/my ombrix/Ombrix.exe\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Desktop Entry]"), std::string::npos);
  ASSERT_TRUE(DeleteValue(Hive::kLocalMachine, run, "Ombrix"));
  EXPECT_FALSE(ombrix::test::PathExists(desktop));
  // The user's own Run key is mirrored the same way.
  ASSERT_TRUE(WriteString(Hive::kCurrentUser, run, "Ombrix", "/opt/ombrix/Ombrix.exe"));
  EXPECT_NE(ombrix::test::ReadFile(desktop).find("Exec=\"/opt/ombrix/Ombrix.exe\"\n"),
            std::string::npos);
  ASSERT_TRUE(DeleteValue(Hive::kCurrentUser, run, "Ombrix"));
  EXPECT_FALSE(ombrix::test::PathExists(desktop));
  // Other values under Run are not ours to mirror.
  ASSERT_TRUE(WriteString(Hive::kLocalMachine, run, "Other", "/bin/true"));
  EXPECT_FALSE(ombrix::test::PathExists(desktop));
}

}  // namespace
}  // namespace brx::platform::registry

#include "runtime/util/file_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/platform/process.h"
#include "runtime/util/process_util.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace brx::util {
namespace {

using ombrix::test::TempDir;

std::wstring W(const std::string& s) { return Utf8ToWide(s); }

TEST(PathTextTest, ParentAndExtension) {
  EXPECT_EQ(GetParentPath(L"a/b\\c"), L"a/b");
  EXPECT_EQ(GetParentPath(L"a\\b/c"), L"a\\b");
  EXPECT_EQ(GetParentPath(L"abc"), L"abc");
  EXPECT_EQ(GetFileExtension(L"a.b.c"), L"c");
  EXPECT_EQ(GetFileExtension(L"abc"), L"");
}

TEST(CreateDirectoriesTest, CreatesEveryLevelAndIsIdempotent) {
  TempDir dir;
  std::wstring path = W(dir.Sub("a/b\\c"));
  CreateDirectories(path);
  EXPECT_TRUE(IsDirectory(W(dir.Sub("a/b/c"))));
  CreateDirectories(path);
  EXPECT_TRUE(IsDirectory(W(dir.Sub("a/b/c"))));
}

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.Sub("root/2026/12"));
    std::filesystem::create_directories(dir_.Sub("root/empty"));
    // Names a first-entry skip would lose whatever order readdir gives.
    for (const char* f :
         {"root/a.jpg", "root/x.JPG", "root/x.jpeg", "root/2026/12/b.jpg", "root/2026/note.txt"})
      ombrix::test::WriteFile(dir_.Sub(f), "data");
  }
  TempDir dir_;
};

TEST_F(ListingTest, ListsEveryFileWithCaseInsensitiveFilter) {
  std::vector<std::wstring> all;
  ListFilesRecursive(W(dir_.Sub("root")), &all);
  EXPECT_EQ(all.size(), 5u);
  std::vector<std::wstring> jpg;
  ListFilesRecursive(W(dir_.Sub("root")), &jpg, L"jpg");
  std::vector<std::wstring> want = {W(dir_.Sub("root/2026/12/b.jpg")), W(dir_.Sub("root/a.jpg")),
                                    W(dir_.Sub("root/x.JPG"))};
  EXPECT_EQ(jpg, want);
  std::vector<std::wstring> none;
  ListFilesRecursive(W(dir_.Sub("root/empty")), &none);
  ListFilesRecursive(W(dir_.Sub("missing")), &none);
  EXPECT_TRUE(none.empty());
}

TEST_F(ListingTest, FindDataPutsFoldersBeforeTheirContents) {
  std::vector<FindData> entries;
  ListFindDataRecursive(W(dir_.Sub("root")), &entries);
  std::vector<std::wstring> names;
  for (const FindData& e : entries) names.push_back(e.name);
  std::vector<std::wstring> want = {L"2026",  L"12",    L"b.jpg", L"note.txt",
                                    L"a.jpg", L"empty", L"x.JPG", L"x.jpeg"};
  EXPECT_EQ(names, want);
  EXPECT_TRUE(entries[0].is_directory);
  EXPECT_EQ(entries[2].size, 4u);
}

TEST_F(ListingTest, TreeHasTwoLevelsInNameOrder) {
  DirectoryNode tree;
  BuildDirectoryTree(W(dir_.Sub("root")), &tree);
  EXPECT_EQ(tree.data.name, L"root");
  ASSERT_EQ(tree.children.size(), 2u);
  EXPECT_EQ(tree.children[0].data.name, L"2026");
  ASSERT_EQ(tree.children[0].children.size(), 1u);
  EXPECT_EQ(tree.children[0].children[0].files.at(0).name, L"b.jpg");
  EXPECT_EQ(tree.files.size(), 3u);
  DirectoryNode untouched;
  untouched.data.name = L"keep";
  BuildDirectoryTree(W(dir_.Sub("missing")), &untouched);
  EXPECT_EQ(untouched.data.name, L"keep");
}

TEST_F(ListingTest, DeleteTreeRemovesAllAndRefusesDangerousPaths) {
  std::filesystem::create_directory_symlink("/usr", dir_.Sub("root/link"));
  EXPECT_TRUE(DeleteDirectoryTree(W(dir_.Sub("root"))));
  EXPECT_FALSE(ombrix::test::PathExists(dir_.Sub("root")));
  EXPECT_TRUE(ombrix::test::PathExists("/usr/bin"));
  EXPECT_FALSE(DeleteDirectoryTree(L""));
  EXPECT_FALSE(DeleteDirectoryTree(L"/"));
  EXPECT_FALSE(DeleteDirectoryTree(W(dir_.Sub("missing"))));
}

// Only folders made for the test are handed to the deletion; system
// folders are judged without one.
TEST(DeleteTreeGuardTest, HomeItsParentsAndSystemFoldersAreNeverDeleted) {
  TempDir dir;
  std::string home = dir.Sub("users/me");
  std::filesystem::create_directories(home + "/docs");
  ombrix::test::WriteFile(home + "/docs/keep.txt", "keep");
  ombrix::test::ScopedEnv env("HOME", home);
  for (const std::string& path : {home + "/.", home + "//", home + "/docs/..", dir.Sub("users"),
                                  dir.Sub("users/me/../../users"), dir.path() + "/."})
    EXPECT_FALSE(DeleteDirectoryTree(W(path))) << path;
  EXPECT_EQ(ombrix::test::ReadFile(home + "/docs/keep.txt"), "keep");
  for (const char* path : {"/", "/.", "//", "/..", "/usr", "/usr/", "/usr/lib", "/etc/..",
                           "/var/lib", "/home/somebody", "/usr/../etc"})
    EXPECT_TRUE(IsProtectedFolder(path)) << path;
  EXPECT_FALSE(IsProtectedFolder(home + "/docs"));
  EXPECT_FALSE(IsProtectedFolder("/opt/Ombrix"));
  EXPECT_TRUE(DeleteDirectoryTree(W(home + "/docs")));
  EXPECT_FALSE(ombrix::test::PathExists(home + "/docs"));
}

TEST(FileContentTest, ReadWholeFileAndAtomicWrite) {
  TempDir dir;
  std::string out = "junk";
  EXPECT_FALSE(ReadWholeFile(W(dir.Sub("missing")), &out));
  ombrix::test::WriteFile(dir.Sub("empty"), "");
  EXPECT_TRUE(ReadWholeFile(W(dir.Sub("empty")), &out));
  EXPECT_EQ(out, "");
  std::string big(30000, 'q');
  big[12345] = '\0';
  ASSERT_TRUE(WriteWholeFileAtomic(W(dir.Sub("big")), big));
  EXPECT_TRUE(ReadWholeFile(W(dir.Sub("big")), &out));
  EXPECT_EQ(out, big);
  ASSERT_TRUE(CopyFileOver(W(dir.Sub("big")), W(dir.Sub("copy"))));
  EXPECT_EQ(ombrix::test::ReadFile(dir.Sub("copy")), big);
  EXPECT_FALSE(CopyFileOver(W(dir.Sub("missing")), W(dir.Sub("copy"))));
  EXPECT_EQ(ombrix::test::ReadFile(dir.Sub("copy")), big);
}

TEST(GscTestTest, OnlyAFileInTheCurrentFolderCounts) {
  TempDir dir;
  std::string old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_FALSE(IsGscTestPresent());
  std::filesystem::create_directory("gsc.test");
  EXPECT_FALSE(IsGscTestPresent());
  std::filesystem::remove("gsc.test");
  ombrix::test::WriteFile("gsc.test", "x");
  EXPECT_TRUE(IsGscTestPresent());
  std::filesystem::current_path(old);
}

TEST(FindProcessByPathTest, MatchesWholePathInAnyCaseOnly) {
  TempDir dir;
  std::string path = dir.Sub("OBDaemon.exe");
  std::filesystem::copy_file("/bin/sleep", path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  auto child = platform::ChildProcess::Spawn({path, {"30"}, ""});
  ASSERT_TRUE(child);
  pid_t pid = 0;
  ASSERT_TRUE(ombrix::test::WaitUntil([&] { return FindProcessByPath(W(path), &pid); }));
  EXPECT_EQ(pid, child->pid());
  std::string upper = dir.Sub("OBDAEMON.EXE");
  pid = 0;
  EXPECT_TRUE(FindProcessByPath(W(upper), &pid));
  EXPECT_EQ(pid, child->pid());
  // Neither a longer path nor a prefix of it names the process.
  EXPECT_FALSE(FindProcessByPath(W(path + "x"), &pid));
  EXPECT_FALSE(FindProcessByPath(W(path.substr(0, path.size() - 1)), &pid));
  EXPECT_FALSE(FindProcessByPath(L"", &pid));
  pid_t tid = 0;
  EXPECT_TRUE(FindFirstThreadOfProcess(child->pid(), &tid));
  EXPECT_EQ(tid, child->pid());
  child->Signal(SIGTERM);
  EXPECT_TRUE(child->Wait(10000));
  EXPECT_FALSE(FindFirstThreadOfProcess(child->pid(), &tid));
}

}  // namespace
}  // namespace brx::util

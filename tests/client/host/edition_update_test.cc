#include "client/host/edition_update.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "runtime/util/edition.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::BinaryDir;
using ombrix::test::DistDir;
using ombrix::test::PathExists;
using ombrix::test::TempDir;

std::wstring W(const std::string& s) { return brx::util::Utf8ToWide(s); }

class EditionUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        brx::util::CopyFileOver(W(DistDir() + "/OBVerCustom.dll"), W(dir_.Sub("OBVerCustom.dll"))));
    ombrix::test::WriteFile(dir_.Sub("OBVerCustom.ini"), "Key=OB-TEST\n");
    brx::util::SetEditionLibraryPathForTesting(dir_.Sub("OBVerCustom.dll"));
    brx::util::ResetEditionCacheForTesting();
  }
  void TearDown() override {
    brx::util::SetEditionLibraryPathForTesting("");
    brx::util::ResetEditionCacheForTesting();
  }
  TempDir dir_;
};

TEST_F(EditionUpdateTest, AWaitingUpdateReplacesTheLibraryAndItsValuesOnThisStart) {
  // Something read the values before the update was put in place.
  ASSERT_EQ(brx::util::GetEditionVersion(), L"2.3.109.05");
  ASSERT_TRUE(brx::util::CopyFileOver(W(BinaryDir() + "/standin/edition-next/OBVerCustom.dll"),
                                      W(dir_.Sub("OBVerCustom.dll.update"))));
  EXPECT_TRUE(ApplyEditionUpdate(W(dir_.path())));
  EXPECT_FALSE(PathExists(dir_.Sub("OBVerCustom.dll.update")));
  EXPECT_EQ(brx::util::GetEditionVersion(), L"2.3.110.01");
}

TEST_F(EditionUpdateTest, WithoutUpdateNothingChanges) {
  EXPECT_FALSE(ApplyEditionUpdate(W(dir_.path())));
  EXPECT_EQ(brx::util::GetEditionVersion(), L"2.3.109.05");
}

TEST_F(EditionUpdateTest, AnUpdateThatCannotBePutInPlaceStays) {
  // A folder in the library's place cannot be replaced by a file.
  mkdir(dir_.Sub("blocked").c_str(), 0755);
  mkdir(dir_.Sub("blocked/OBVerCustom.dll").c_str(), 0755);
  mkdir(dir_.Sub("blocked/OBVerCustom.dll/inside").c_str(), 0755);
  ASSERT_TRUE(brx::util::CopyFileOver(W(BinaryDir() + "/standin/edition-next/OBVerCustom.dll"),
                                      W(dir_.Sub("blocked/OBVerCustom.dll.update"))));
  EXPECT_FALSE(ApplyEditionUpdate(W(dir_.Sub("blocked"))));
  EXPECT_TRUE(PathExists(dir_.Sub("blocked/OBVerCustom.dll.update")));
  EXPECT_TRUE(brx::util::IsDirectory(W(dir_.Sub("blocked/OBVerCustom.dll"))));
}

}  // namespace

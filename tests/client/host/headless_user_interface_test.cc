#include "client/host/headless_user_interface.h"

#include <cstdio>

#include <gtest/gtest.h>

namespace {

std::string Captured(FILE* file) {
  fflush(file);
  rewind(file);
  std::string out;
  char buf[256];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, file)) > 0) out.append(buf, n);
  return out;
}

TEST(HeadlessUserInterfaceTest, MessageBoxesGoToTheErrorStreamAsUtf8) {
  FILE* err = tmpfile();
  ASSERT_NE(err, nullptr);
  HeadlessUserInterface ui(err);
  ui.ShowMessageBox(L"你已启动翎岚,不能重复启动", L"提示");
  ui.ShowMessageBox(nullptr, L"Tip");  // a missing text is shown empty
  ui.ShowMessageBox(L"Ombrix is running", nullptr);
  EXPECT_EQ(Captured(err), "提示: 你已启动翎岚,不能重复启动\nTip: \n: Ombrix is running\n");
  fclose(err);
}

}  // namespace

#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/test_support.h"
#include "uilib/backend/headless/headless_backend.h"
#include "uilib/winsys/ui_backend.h"

namespace uilib::testing {

// Every test runs on a fresh headless backend with a manual clock, and
// gets a skin folder of its own with a sprite image (three 20 x 20 cells:
// red, green, blue).
class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `xml` as <skin folder>/<name> and returns the path.
  std::string WriteSkin(const std::string& name, const std::string& xml);
  // Where PNGs for review go: <build>/test-output/uilib.
  static std::string OutputDir();

  HeadlessBackend* backend = nullptr;
  std::unique_ptr<ombrix::test::TempDir> dir;

 private:
  std::unique_ptr<UiBackend> previous_;
};

}  // namespace uilib::testing

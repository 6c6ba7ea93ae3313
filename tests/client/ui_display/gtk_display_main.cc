// The main of the client's display tests: every test runs on the GTK
// backend; without a display the whole program is skipped (77, the code
// the display label takes as a skip).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "uilib/winsys/ui_backend.h"

int main(int argc, char** argv) {
  constexpr int kNoDisplay = 77;
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (std::getenv("DISPLAY") == nullptr) return kNoDisplay;
  std::unique_ptr<uilib::UiBackend> gtk = uilib::CreateGtkUiBackend();
  if (gtk == nullptr) return kNoDisplay;
  uilib::SetUiBackend(std::move(gtk));
  return RUN_ALL_TESTS();
}

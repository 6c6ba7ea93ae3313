#include "client/host/client_composition.h"

#include <gtest/gtest.h>

#include "client/core/config_keys.h"
#include "client/host/daemon_link_adapter.h"
#include "client/host/game_link_adapter.h"
#include "client/host/headless_user_interface.h"
#include "client/host/video_chat_adapter.h"
#include "client/host/web_logic_adapter.h"
#include "client/web/web_logic_manager.h"
#include "runtime/util/edition.h"
#include "runtime/util/file_util.h"
#include "runtime/util/text_convert.h"
#include "tests/support/test_support.h"

namespace {

using ombrix::test::DistDir;
using ombrix::test::TempDir;

std::wstring W(const std::string& s) { return brx::util::Utf8ToWide(s); }

class ClientCompositionTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        brx::util::CopyFileOver(W(DistDir() + "/OBVerCustom.dll"), W(dir_.Sub("OBVerCustom.dll"))));
    ombrix::test::WriteFile(dir_.Sub("OBVerCustom.ini"), std::string("Key=OB-TEST\nInstallHook=") +
                                                             (GetParam() ? "1" : "0") + "\n");
    brx::util::SetEditionLibraryPathForTesting(dir_.Sub("OBVerCustom.dll"));
    brx::util::ResetEditionCacheForTesting();
  }
  void TearDown() override {
    brx::util::SetEditionLibraryPathForTesting("");
    brx::util::ResetEditionCacheForTesting();
  }
  TempDir dir_;
  HeadlessUserInterface ui_;
};

// Every part the application holds is the one the composition built and
// hands out, and each borrows the application's own state: a value the
// web logic stores lands in the application's configuration, and its
// events go through the application's chain.
TEST_P(ClientCompositionTest, TheApplicationHoldsThePartsTheCompositionHandsOut) {
  ClientComposition composition;
  OBApplication::Options options;
  options.program_folder = W(dir_.path());
  options.compose_parts = composition.Composer();
  OBApplication app(&ui_, std::move(options));

  ASSERT_NE(composition.web_logic(), nullptr);
  ASSERT_NE(composition.game_link(), nullptr);
  EXPECT_EQ(app.logic().web(), composition.web_logic());
  EXPECT_EQ(app.logic().game_link(), composition.game_link());
  ASSERT_NE(composition.video_chat(), nullptr);
  EXPECT_EQ(app.logic().video(), static_cast<VideoChatPart*>(composition.video_chat()));
  if (GetParam()) {
    ASSERT_NE(composition.daemon_link(), nullptr);
    EXPECT_EQ(app.daemon_ipc(), composition.daemon_link());
  } else {
    EXPECT_EQ(composition.daemon_link(), nullptr);
    EXPECT_EQ(app.daemon_ipc(), nullptr);
  }

  composition.web_logic()->SetSystemConfigValue(config_keys::kAccount, L"demo");
  EXPECT_EQ(app.logic().config().system().GetAccount(), L"demo");
  EXPECT_EQ(composition.web_logic()->manager().host(), composition.web_logic());
  EXPECT_EQ(composition.web_logic()->manager().chain(), &app.event_chain());
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutHookDaemon, ClientCompositionTest, ::testing::Bool());

}  // namespace

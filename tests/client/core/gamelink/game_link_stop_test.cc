#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "client/core/gamelink/ob_logic_game_command.h"
#include "tests/client/core/gamelink/game_link_harness.h"

namespace gamelink_test {
namespace {

TEST(GameLinkStopTest, NoHandlerRunsAfterTheGameLinkStops) {
  GameLinkFolder folder(false);
  GuiThread gui(folder);
  gui.RecordId(2);  // DETACH passes every filter, attached or not
  gui.Run([](OBLogicGameCommand& s) {
    const uint8_t detach[4] = {2, 0, 0, 0};
    s.Push(76, detach, sizeof detach);  // while running: handled
    s.DispatchMessages();
    s.Push(77, detach, sizeof detach);  // queued when the stop comes: dropped
    s.Stop();
    s.DispatchMessages();
    s.Push(78, detach, sizeof detach);  // after the stop: no handler left
    s.DispatchMessages();
  });
  EXPECT_EQ(gui.Handled(), (std::vector<std::pair<uint32_t, uint16_t>>{{76, 2}}));
  EXPECT_TRUE(gui.Detaches().empty());
}

}  // namespace
}  // namespace gamelink_test

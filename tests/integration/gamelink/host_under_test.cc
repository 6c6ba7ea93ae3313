#include "tests/integration/gamelink/host_under_test.h"

#include <regex>

#include "standin/game/game_simulator.h"

namespace gamelink_it {

using ombrix::test::ReadFile;
using ombrix::test::ScopedEnv;
using ombrix::test::WaitUntil;

HostUnderTest::HostUnderTest(ExitWithGame exit_with_game) {
  if (exit_with_game == ExitWithGame::kOff) {
    std::string other = ReadFile(installed_.Path("games/other.xml"));
    other = std::regex_replace(other, std::regex("<ExitWithGame enable=\"1\""),
                               "<ExitWithGame enable=\"0\"");
    ombrix::test::WriteFile(installed_.Path("games/other.xml"), other);
  }
  env_.push_back(std::make_unique<ScopedEnv>("HOME", installed_.Scratch("state/home")));
  env_.push_back(std::make_unique<ScopedEnv>("LANG", "en_US.UTF-8"));
  env_.push_back(std::make_unique<ScopedEnv>("LC_ALL", std::nullopt));
}

bool HostUnderTest::Start() {
  process_ = installed_.Run();
  return process_->started();
}

bool HostUnderTest::ServesGamePipes(std::chrono::milliseconds timeout) {
  gamesim::GameSimulator::Options options;
  options.name_suffix = L"other";  // the edition's game id; its hook is not system-wide
  gamesim::GameSimulator probe(options);
  return WaitUntil(
      [&] {
        if (probe.Connect() == 0) return false;
        probe.Close();
        probe.WaitDisconnected(std::chrono::seconds(5));
        return true;
      },
      timeout);
}

}  // namespace gamelink_it

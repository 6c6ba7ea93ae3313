// game-simulator: plays the in-game hook library against a running main
// client, from a script. See simulator_script.h for the commands.
//
//   game-simulator [--pipe-dir DIR] [--suffix GAMEID] [--timeout MS] [--wait MS]
//                  [--script FILE | -e "cmd; cmd; ..."]
//
// Without --script or -e the script is read from standard input. Exit code
// 0 when every command succeeded, 1 when one failed, 2 on a usage error.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "runtime/util/text_convert.h"
#include "standin/game/game_simulator.h"
#include "standin/game/simulator_script.h"

int main(int argc, char** argv) {
  gamesim::GameSimulator::Options options;
  int timeout_ms = 5000;
  std::string script_file, inline_script;
  bool has_inline = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << arg << " needs a value\n";
        exit(2);
      }
      return argv[++i];
    };
    if (arg == "--pipe-dir")
      setenv("OMBRIX_PIPE_DIR", value().c_str(), 1);
    else if (arg == "--suffix")
      options.name_suffix = brx::util::Utf8ToWide(value());
    else if (arg == "--timeout")
      timeout_ms = std::atoi(value().c_str());
    else if (arg == "--wait")
      options.connect_wait_ms = std::atoi(value().c_str());
    else if (arg == "--script")
      script_file = value();
    else if (arg == "-e") {
      inline_script = value();
      has_inline = true;
    } else {
      std::cerr
          << "usage: game-simulator [--pipe-dir DIR] [--suffix GAMEID] [--timeout MS] [--wait MS] "
             "[--script FILE | -e \"cmd; cmd\"]\n";
      return 2;
    }
  }
  std::ifstream file;
  std::istringstream text;
  std::istream* script = &std::cin;
  if (!script_file.empty()) {
    file.open(script_file);
    if (!file) {
      std::cerr << "cannot read " << script_file << "\n";
      return 2;
    }
    script = &file;
  } else if (has_inline) {
    for (char& c : inline_script)
      if (c == ';') c = '\n';
    text.str(inline_script);
    script = &text;
  }
  gamesim::GameSimulator simulator(options);
  std::string error;
  if (!gamesim::RunScript(simulator, *script, std::cout, std::chrono::milliseconds(timeout_ms),
                          &error)) {
    std::cerr << "game-simulator: " << error << "\n";
    return 1;
  }
  return 0;
}

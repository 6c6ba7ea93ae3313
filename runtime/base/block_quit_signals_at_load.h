#pragma once

#include "runtime/base/quit_signal_watcher.h"

namespace brx::base {

// BlockQuitSignals() in the shape of a pre-initialisation function.
void BlockQuitSignalsAtLoad(int argc, char** argv, char** envp);

}  // namespace brx::base

// Blocks SIGTERM and SIGINT (and ignores SIGPIPE) before any of the
// program's code runs: an executable's pre-initialisation functions run
// ahead of every shared library's initialisers and every static
// initialiser, so no start-up work can ever be cut off by the default
// action of a quit signal. A signal that arrives earlier still, while the
// loader maps the libraries, finds nothing begun. Write this once, at file
// scope, in the program's main source file (only executables have the
// array); the program's QuitSignalWatcher then reads what came meanwhile.
#define BRX_BLOCK_QUIT_SIGNALS_AT_LOAD()                                                       \
  [[gnu::used, gnu::section(".preinit_array")]] static void (*brx_block_quit_signals_at_load)( \
      int, char**, char**) = &brx::base::BlockQuitSignalsAtLoad

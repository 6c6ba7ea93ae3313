#pragma once

// The main client's process entry: start-up, the main loop, shut-down.
// Returns 0 after a normal run and -1 when start-up fails.
int OBHostMain(int argc, char** argv);

#pragma once

namespace uilib {

// The skin library and its backends are not thread-safe: windows,
// controls, the toolkit and the cursor belong to one thread, the GUI
// thread. As a sequence checker does, the check binds to the first thread
// that calls in, and every later call must come from that thread. A call
// from any other thread is the caller's fault (another thread posts to
// the GUI thread instead): a build with assertions (the test build) aborts
// with the function's name, so a test run catches it; a release build
// logs the first such call and goes on.
void CheckGuiThread(const char* function);

// Installing a new backend starts the UI's life anew: the next call binds
// the check again.
void UnbindGuiThread();

}  // namespace uilib

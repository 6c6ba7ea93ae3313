#pragma once

namespace brx::platform {

// Gives the calling thread an alternate signal stack (once; freed when the
// thread ends), so a crash handler still runs after a stack overflow.
void EnsureAltSignalStack();

}  // namespace brx::platform

#pragma once

#include <string>

namespace brx::platform {

// Writes a whole file through a temporary file beside it (unique to the
// calling thread), synced and renamed over the target, so readers see the
// old file or the new one, never half of either. False when any step
// fails; the target is then untouched.
bool WriteFileAtomically(const std::string& path, const std::string& data, unsigned mode = 0644);

}  // namespace brx::platform

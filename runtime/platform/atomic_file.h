#pragma once

#include <string>

namespace brx::platform {

// Writes a whole file through a temporary file beside it (unique to the
// calling thread), synced and renamed over the target, so readers see the
// old file or the new one, never half of either. The file gets `mode`
// (umask aside), also when it replaces a file of a wider mode; by default
// only its owner may read it. False when any step fails; the target is
// then untouched.
bool WriteFileAtomically(const std::string& path, const std::string& data, unsigned mode = 0600);

}  // namespace brx::platform

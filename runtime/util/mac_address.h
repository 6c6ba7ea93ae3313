#pragma once

#include <string>

namespace brx::util {

// Reads the network adapter's address ("XX-XX-XX-XX-XX-XX") into the
// process-wide value, emptied first; false when there is no adapter.
bool QueryMacAddress();
// The value the last QueryMacAddress left (empty when it failed).
std::wstring GetQueriedMacAddress();

}  // namespace brx::util

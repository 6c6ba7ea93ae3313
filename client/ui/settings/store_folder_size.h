#pragma once

#include <cstdint>
#include <string>

// The bytes of every regular file below `folder`, recursively; links are
// not followed and unreadable entries are skipped. 0 for an empty path or
// a missing folder.
uint64_t StoreFolderSize(const std::wstring& folder);

// Whether `bytes` exceed `megabytes` MB (1 MB = 1,048,576 bytes): holding
// exactly the quota is not over it.
bool ExceedsQuota(uint64_t bytes, int megabytes);

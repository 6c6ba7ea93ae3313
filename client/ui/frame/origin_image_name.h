#pragma once

#include <string>

// The cache file name of a picture address: the part after the last "/"
// up to and including the last ".jpg"; "temp.jpg" when either is missing
// or when the name could leave the cache folder or name a device (path
// separators, "..", ":", control characters).
std::wstring OriginImageFileName(const std::wstring& url);

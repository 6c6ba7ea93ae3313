#pragma once

#include <string>
#include <vector>

// "scheme://host:port" of an http or https address: scheme and host in
// lower case, the port always written. Empty for any other address, and
// for one with user information ("http://a@b/"), whose real host is not
// the one it seems to name.
std::string HttpOrigin(const std::string& url);

// True when `url` lies on one of `allowed` (addresses or origins; their
// paths do not matter).
bool OriginAllowed(const std::string& url, const std::vector<std::string>& allowed);

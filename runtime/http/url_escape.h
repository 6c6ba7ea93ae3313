#pragma once

#include <string>

namespace brx::http {

// An address as a browser would send it: in the part after the host, every
// byte that may not stand in a URL becomes "%XX" (controls, the blank, bytes
// above 127, and " < > \ ^ ` { | }), and so does a "%" that does not start
// an escape. Scheme and host are left alone, and an address that is already
// valid comes back byte for byte. Complete addresses handed over by the
// web service or a game (a file name with a blank) go through it before
// libcurl, which refuses some of these bytes outright.
std::string EscapeUrlForTransfer(const std::string& url);

}  // namespace brx::http

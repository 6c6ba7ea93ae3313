#pragma once

#include <string>

// The sign-in reply as a page may see it: every "CipherPassword" member,
// at any depth, taken out (the session stays; the page works with it).
// A reply that cannot be read as JSON is passed on only when it does not
// name the member at all; otherwise nothing is.
std::wstring SignInTextForPage(const std::wstring& reply);

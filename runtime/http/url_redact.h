#pragma once

#include <string>

namespace brx::http {

// The address with the values of the secret query parameters (Password,
// CipherPassword, Ticket, SessionId, SessionID) replaced by "***", for log
// lines. The request itself always goes out unchanged.
std::string RedactUrlSecrets(const std::string& url);
std::wstring RedactUrlSecrets(const std::wstring& url);

}  // namespace brx::http

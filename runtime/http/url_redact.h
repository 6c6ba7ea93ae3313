#pragma once

#include <string>
#include <string_view>

namespace brx::http {

// Whether a parameter or field of this name carries a credential: Ticket,
// SessionId (any letter case, so SessionID too) and every name holding
// "password" (Password, CipherPassword, ...).
bool IsSecretParameterName(std::string_view name);

// The address with the values of the secret query parameters replaced by
// "***", for log lines. The request itself always goes out unchanged.
std::string RedactUrlSecrets(const std::string& url);
std::wstring RedactUrlSecrets(const std::wstring& url);

}  // namespace brx::http

#pragma once

#include <string>

namespace brx::http {

// The text of a reply, for a log line, with the values of its secret fields
// (see IsSecretParameterName) replaced by "***". Works on text that is not
// well-formed or is cut off, finds fields of JSON nested as a string value
// (a Data that is a text holding JSON) at any depth of escaping, and also
// hides "Name=value" pairs of an echoed query. When in doubt it hides more.
std::string RedactReplySecrets(const std::string& text);

}  // namespace brx::http

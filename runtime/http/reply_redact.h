#pragma once

#include <cstddef>
#include <string>

namespace brx::http {

// The text of a reply, for a log line, with the values of its secret fields
// (see IsSecretParameterName) replaced by "***". Works on text that is not
// well-formed or is cut off, finds fields of JSON nested as a string value
// (a Data that is a text holding JSON) at any depth of escaping, XML
// elements (<SessionID>value</SessionID>, also with a namespace prefix, as
// entities or as JSON escapes) and attributes (SessionID="value"), and
// "Name=value" pairs of an echoed query. When in doubt it hides more.
std::string RedactReplySecrets(const std::string& text);

// How much of a reply a log line shows.
inline constexpr size_t kLoggedReplyBytes = 1024;

// A reply that could not be read, as a log line shows it: cut after
// `limit` bytes (never inside a UTF-8 character; the cut is marked with the
// whole length), then redacted. A hostile reply may be megabytes long.
std::string ReplyTextForLog(const std::string& text, size_t limit = kLoggedReplyBytes);

}  // namespace brx::http

#pragma once

#include <string>

namespace Json {
class Value;
}

namespace brx::util {

// Deepest nesting of arrays and objects a JSON text from outside may have.
inline constexpr int kMaxJsonDepth = 1000;

// Parses JSON that came from outside (a reply, a text inside a reply).
// jsoncpp's reader throws when the nesting passes its limit, and an
// exception on a worker thread would end the process; this never throws:
// any text the reader refuses, for whatever reason, is simply not JSON.
// False, with the reader's messages in `errors` when given, for such text.
bool ParseUntrustedJson(const std::string& text, Json::Value* root, std::string* errors = nullptr);

}  // namespace brx::util

#include "runtime/util/json_parse.h"

#include <json/json.h>

#include <exception>
#include <memory>

namespace brx::util {

bool ParseUntrustedJson(const std::string& text, Json::Value* root, std::string* errors) {
  std::string messages;
  bool parsed = false;
  try {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    builder["stackLimit"] = kMaxJsonDepth;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    parsed = reader->parse(text.data(), text.data() + text.size(), root, &messages);
  } catch (const std::exception& e) {
    messages = e.what();
    parsed = false;
  }
  if (!parsed) *root = Json::Value();
  if (errors) *errors = messages;
  return parsed;
}

}  // namespace brx::util

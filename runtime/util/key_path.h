#pragma once

#include <string>
#include <vector>

class TiXmlNode;
namespace Json {
class Value;
}

namespace brx::util {

// A key path names an XML element by its dotted element names from the
// start node down ("root.user.account") and optionally one of its
// attributes after a final ':' ("root.base.store:type").
struct KeyPath {
  std::vector<std::string> elements;
  std::string attribute;  // empty: the element's text
};
KeyPath SplitKeyPath(const std::string& path);

// The element's text or attribute; `default_value` when anything on the way
// is missing (an element without text counts as missing).
std::string XmlPathGet(const std::string& path, const TiXmlNode* start,
                       const std::string& default_value);
// Sets the element's text or attribute, creating missing elements. A null
// value counts as empty text. Nothing is saved; the caller saves.
void XmlPathSet(const std::string& path, const char* value, TiXmlNode* start);
inline void XmlPathSet(const std::string& path, const std::string& value, TiXmlNode* start) {
  XmlPathSet(path, value.c_str(), start);
}

// The value at a dotted path below `root`: a string as it stands, anything
// else in its styled text form. False (and the default) when a step is
// missing or is not an object.
bool JsonPathGet(const std::string& path, std::string* out, const Json::Value& root,
                 const std::string& default_value);
// root[key] = the text as a string value.
void JsonPathSet(const std::string& key, Json::Value* root, const std::string& value);

}  // namespace brx::util

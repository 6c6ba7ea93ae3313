#include "runtime/util/key_path.h"

#include <json/json.h>
#include <tinyxml.h>

namespace brx::util {

KeyPath SplitKeyPath(const std::string& path) {
  KeyPath out;
  size_t start = 0;
  size_t dot;
  while ((dot = path.find('.', start)) != std::string::npos) {
    out.elements.push_back(path.substr(start, dot - start));
    start = dot + 1;
  }
  std::string last = path.substr(start);
  size_t colon = last.find(':');
  if (colon != std::string::npos) {
    out.attribute = last.substr(colon + 1);
    last.resize(colon);
  }
  out.elements.push_back(last);
  return out;
}

std::string XmlPathGet(const std::string& path, const TiXmlNode* start,
                       const std::string& default_value) {
  if (!start) return default_value;
  KeyPath key = SplitKeyPath(path);
  const TiXmlNode* node = start;
  for (const std::string& name : key.elements) {
    node = node->FirstChildElement(name.c_str());
    if (!node) return default_value;
  }
  const TiXmlElement* element = node->ToElement();
  if (!element) return default_value;
  if (!key.attribute.empty()) {
    const char* value = element->Attribute(key.attribute.c_str());
    return value ? value : default_value;
  }
  const TiXmlNode* child = element->FirstChild();
  const TiXmlText* text = child ? child->ToText() : nullptr;
  return text ? text->Value() : default_value;
}

void XmlPathSet(const std::string& path, const char* value, TiXmlNode* start) {
  if (!start) return;
  if (!value) value = "";
  KeyPath key = SplitKeyPath(path);
  TiXmlNode* node = start;
  for (const std::string& name : key.elements) {
    TiXmlNode* next = node->FirstChildElement(name.c_str());
    if (!next) next = node->LinkEndChild(new TiXmlElement(name.c_str()));
    node = next;
  }
  TiXmlElement* element = node->ToElement();
  if (!key.attribute.empty()) {
    element->SetAttribute(key.attribute.c_str(), value);
    return;
  }
  TiXmlNode* first = element->FirstChild();
  if (first && first->ToText()) {
    first->SetValue(value);
  } else if (first) {
    // Never rename a child element: put the text in front of it.
    element->InsertBeforeChild(first, TiXmlText(value));
  } else {
    element->LinkEndChild(new TiXmlText(value));
  }
}

bool JsonPathGet(const std::string& path, std::string* out, const Json::Value& root,
                 const std::string& default_value) {
  out->clear();
  KeyPath key = SplitKeyPath(path);
  const Json::Value* value = &root;
  for (const std::string& name : key.elements) {
    // Member lookup on anything but an object throws in jsoncpp.
    if (!value->isObject()) {
      *out = default_value;
      return false;
    }
    value = &(*value)[name];
    if (value->isNull()) {
      *out = default_value;
      return false;
    }
  }
  *out = value->isString() ? value->asString() : value->toStyledString();
  return true;
}

void JsonPathSet(const std::string& key, Json::Value* root, const std::string& value) {
  (*root)[key] = Json::Value(value);
}

}  // namespace brx::util

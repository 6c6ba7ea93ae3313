#include "launcher/version_manifest.h"

#include <tinyxml.h>

#include "runtime/util/xml_parse.h"

ManifestDecision ReadVersionManifest(const std::string& xml, const std::string& key,
                                     const std::string& installed_version) {
  ManifestDecision decision;
  // The manifest comes from the network: it is parsed with the guards of
  // any XML from outside, and only when it is of a manifest's size.
  TiXmlDocument document;
  if (xml.size() > kManifestMaxBytes || !brx::util::ParseUntrustedXml(xml, &document))
    return decision;
  const TiXmlElement* root = document.FirstChildElement("root");
  decision.kind = ManifestDecision::Kind::kNoRoot;
  if (!root) return decision;

  decision.kind = ManifestDecision::Kind::kNoUpdate;
  const TiXmlElement* entry = root->FirstChildElement("key");
  for (; entry; entry = entry->NextSiblingElement()) {
    const char* name = entry->Attribute("name");
    if (name && key == name) break;
  }
  if (!entry) return decision;
  const char* version = entry->Attribute("version");
  if (!version || installed_version == version) return decision;
  decision.version = version;

  const TiXmlElement* url = entry->FirstChildElement("url");
  for (; url; url = url->NextSiblingElement()) {
    if (const char* mirror = url->Attribute("name")) decision.mirrors.push_back(mirror);
  }
  decision.kind = decision.mirrors.empty() ? ManifestDecision::Kind::kNoMirror
                                           : ManifestDecision::Kind::kUpdate;
  return decision;
}

std::string ChooseMirror(const std::vector<std::string>& mirrors, uint32_t tick) {
  if (mirrors.empty()) return "";
  const std::string& mirror = mirrors[tick % mirrors.size()];
  // A mirror that already carries a query gets the tick as one more parameter.
  return mirror + (mirror.find('?') == std::string::npos ? "?tick=" : "&tick=") +
         std::to_string(tick);
}

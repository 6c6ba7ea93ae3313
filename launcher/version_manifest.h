#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The version manifest "version.xml": one element per edition below the
// root, each naming the version that edition should have and the mirrors
// of the patch archive that brings it there.
//
//   <root>
//     <key name="OB-DEMO" version="2.3.110.01">
//       <url name="http://mirror-1/patch.7z"/>
//       <url name="http://mirror-2/patch.7z"/>
//     </key>
//   </root>
struct ManifestDecision {
  enum class Kind {
    kNotXml,    // the text does not parse
    kNoRoot,    // no element "root"
    kNoUpdate,  // no entry for the key, no version, or the same version
    kNoMirror,  // a new version, but no mirror to fetch it from
    kUpdate,
  };
  Kind kind = Kind::kNotXml;
  std::string version;               // the entry's version (kNoMirror, kUpdate)
  std::vector<std::string> mirrors;  // in manifest order (kUpdate)
};

// The largest manifest read: a line or two per edition fits many times.
inline constexpr uint64_t kManifestMaxBytes = 256 << 10;

// Reads the manifest text for an edition `key` installed at
// `installed_version`. The entry is the first of the first element named
// "key" and all its following siblings (any name) whose "name" is the key;
// its mirrors are its first child named "url" and every following sibling
// that has a "name". Any version text other than the installed one counts
// as an update, an older one too. A text larger than kManifestMaxBytes,
// nested deeper than any manifest is, or not a document is kNotXml.
ManifestDecision ReadVersionManifest(const std::string& xml, const std::string& key,
                                     const std::string& installed_version);

// The mirror to use for a tick count, with the "?tick=" query that keeps
// caches out of the way.
std::string ChooseMirror(const std::vector<std::string>& mirrors, uint32_t tick);

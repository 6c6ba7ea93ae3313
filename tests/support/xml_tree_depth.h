#pragma once

// The element nesting of a document TinyXML built, measured without
// recursion (the document may be deeper than a stack allows).

#include <tinyxml.h>

#include <cstddef>

namespace ombrix::test {

inline size_t XmlTreeDepth(const TiXmlNode* top) {
  size_t deepest = 0;
  size_t depth = 0;  // elements on the way from `top` to `node`, `node` included
  const TiXmlNode* node = top->FirstChild();
  if (node && node->ToElement()) depth = 1;
  while (node) {
    if (depth > deepest) deepest = depth;
    if (const TiXmlNode* child = node->FirstChild()) {
      node = child;
      if (node->ToElement()) ++depth;
      continue;
    }
    // Up until there is a next sibling.
    while (node != top && !node->NextSibling()) {
      if (node->ToElement()) --depth;
      node = node->Parent();
    }
    if (node == top) break;
    if (node->ToElement()) --depth;
    node = node->NextSibling();
    if (node->ToElement()) ++depth;
  }
  return deepest;
}

}  // namespace ombrix::test

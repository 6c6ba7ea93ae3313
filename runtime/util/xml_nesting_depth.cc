#include "runtime/util/xml_nesting_depth.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string_view>
#include <vector>

namespace brx::util {

namespace {

// TinyXML's own three ways of reading: it starts "unknown" (byte by byte)
// when not told, and a byte-order mark or the first declaration settles it.
enum class Mode { kUnknown, kUtf8, kLegacy };

// Every test below is the one TinyXML's reader makes at the same point, with
// the same C library calls (so the same locale), because any place where
// the two part ways is a place where a text can nest deeper than counted.
class Walk {
 public:
  Walk(const std::string& text, Mode mode)
      // The reader takes the text as a C string: it ends at the first NUL.
      : text_(text.data(), std::min(text.size(), text.find('\0'))), mode_(mode) {}

  size_t Deepest(size_t stop_above);

 private:
  struct Name {
    size_t at;
    size_t length;
  };
  // Where a step ended, and whether the reader got there without giving up.
  struct Step {
    size_t end;
    bool ok;
  };
  enum class Node { kDeclaration, kComment, kCData, kUnknown, kElement };

  bool End(size_t i) const { return i >= text_.size(); }
  // Past the end reads as the terminating NUL, as the reader's pointer does.
  unsigned char At(size_t i) const { return End(i) ? 0 : static_cast<unsigned char>(text_[i]); }

  static bool IsWhiteSpace(unsigned char c) { return isspace(c) || c == '\n' || c == '\r'; }
  static bool IsAlpha(unsigned char c) { return c < 127 ? isalpha(c) != 0 : true; }
  static bool IsAlphaNum(unsigned char c) { return c < 127 ? isalnum(c) != 0 : true; }
  static bool StartsName(unsigned char c) { return IsAlpha(c) || c == '_'; }
  static bool InName(unsigned char c) {
    return IsAlphaNum(c) || c == '_' || c == '-' || c == '.' || c == ':';
  }
  // The reader lowers a plain (signed) char.
  int ToLower(char c) const {
    int v = c;
    if (mode_ == Mode::kUtf8) return v < 128 ? tolower(v) : v;
    return tolower(v);
  }
  // How far the reader steps over one character of text or of a quoted
  // value. An entity is all ASCII and holds neither '<' nor a quote, so
  // stepping over it a byte at a time lands where the reader lands.
  size_t CharLength(unsigned char c) const {
    if (mode_ != Mode::kUtf8) return 1;
    int length = TiXmlBase::utf8ByteTable[c];
    return length > 0 ? static_cast<size_t>(length) : 1;  // 0: the reader gives up
  }

  size_t SkipWhiteSpace(size_t i) const;
  bool StringEqual(size_t i, std::string_view tag, bool ignore_case) const;
  size_t Past(size_t from, std::string_view end) const;
  Node Identify(size_t i) const;
  // From the first character of a text to the '<' that ends it.
  size_t SkipText(size_t from) const;
  // From after a value's opening quote to past its closing one.
  Step QuotedValue(size_t from, unsigned char quote, std::string* value) const;
  Step Attribute(size_t from, std::string* value) const;
  // From the '<' of an element to past its tag; `opens` when it has content.
  Step ElementTag(size_t at, Name* name, bool* opens) const;
  // From the '<' of "<?xml" to past its '>'; `encoding` as declared. At
  // the top (`encoding` given) its values are read exactly, entities and
  // all, because a failure there ends the document without an error.
  Step Declaration(size_t at, std::string* encoding) const;
  Step EndTag(size_t at, const Name& name) const;
  void TakeEncoding(const std::string& declared);

  std::string_view text_;
  Mode mode_;
};

size_t Walk::SkipWhiteSpace(size_t i) const {
  if (mode_ != Mode::kUtf8) {
    while (!End(i) && IsWhiteSpace(At(i))) ++i;
    return i;
  }
  // In UTF-8 the reader also skips byte-order marks and U+FFFE, U+FFFF.
  while (!End(i)) {
    if (At(i) == 0xEF &&
        ((At(i + 1) == 0xBB && At(i + 2) == 0xBF) || (At(i + 1) == 0xBF && At(i + 2) == 0xBE) ||
         (At(i + 1) == 0xBF && At(i + 2) == 0xBF))) {
      i += 3;
    } else if (IsWhiteSpace(At(i))) {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

bool Walk::StringEqual(size_t i, std::string_view tag, bool ignore_case) const {
  if (End(i)) return false;
  for (char t : tag) {
    if (End(i)) return false;
    char c = text_[i++];
    if (ignore_case ? ToLower(c) != ToLower(t) : c != t) return false;
  }
  return true;
}

size_t Walk::Past(size_t from, std::string_view end) const {
  if (End(from)) return text_.size();
  size_t at = text_.find(end, from);
  return at == std::string_view::npos ? text_.size() : at + end.size();
}

Walk::Node Walk::Identify(size_t i) const {
  if (StringEqual(i, "<?xml", true)) return Node::kDeclaration;
  if (StringEqual(i, "<!--", false)) return Node::kComment;
  if (StringEqual(i, "<![CDATA[", false)) return Node::kCData;
  if (StringEqual(i, "<!", false)) return Node::kUnknown;
  return StartsName(At(i + 1)) ? Node::kElement : Node::kUnknown;
}

size_t Walk::SkipText(size_t from) const {
  bool condense = TiXmlBase::IsWhiteSpaceCondensed();
  size_t i = from;
  while (!End(i) && At(i) != '<') {
    if (condense && IsWhiteSpace(At(i)))
      ++i;
    else
      i += CharLength(At(i));
  }
  return i;
}

Walk::Step Walk::QuotedValue(size_t from, unsigned char quote, std::string* value) const {
  size_t i = from;
  while (!End(i) && At(i) != quote) {
    size_t length = CharLength(At(i));
    if (value == nullptr || length != 1 || At(i) != '&') {
      if (value) value->append(text_.substr(i, length));
      i += length;
      continue;
    }
    // The reader's entities: "&#x..;", "&#..;" (their digits read back from
    // the ';'), the five named ones; an unknown '&' yields nothing.
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    if (At(i + 1) == '#' && At(i + 2) != 0) {
      bool hex = At(i + 2) == 'x';
      size_t digits = i + (hex ? 3 : 2);
      size_t semicolon = End(digits) ? std::string_view::npos : text_.find(';', digits);
      if (semicolon == std::string_view::npos) return {i, false};
      uint64_t code = 0, scale = 1;
      for (size_t d = semicolon - 1; At(d) != (hex ? 'x' : '#'); --d, scale *= hex ? 16 : 10) {
        unsigned char c = At(d);
        if (c >= '0' && c <= '9')
          code += scale * (c - '0');
        else if (hex && c >= 'a' && c <= 'f')
          code += scale * (c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
          code += scale * (c - 'A' + 10);
        else
          return {i, false};
      }
      value->push_back(static_cast<char>(code));
      i = semicolon + 1;
      continue;
    }
    size_t step = 1;
    for (const auto& [entity, c] : kNamed) {
      if (text_.substr(i, entity.size()) == entity) {
        value->push_back(c);
        step = entity.size();
        break;
      }
    }
    i += step;
  }
  if (End(i)) return {text_.size(), false};
  ++i;
  // A value closed by the very last byte leaves the reader at the end,
  // which it takes for a failure.
  return {i, !End(i)};
}

Walk::Step Walk::Attribute(size_t from, std::string* value) const {
  size_t i = SkipWhiteSpace(from);
  if (!StartsName(At(i))) return {i, false};
  while (!End(i) && InName(At(i))) ++i;
  i = SkipWhiteSpace(i);
  if (At(i) != '=') return {i, false};
  i = SkipWhiteSpace(i + 1);
  if (End(i)) return {i, false};
  unsigned char c = At(i);
  if (c == '\'' || c == '"') return QuotedValue(i + 1, c, value);
  size_t start = i;
  while (!End(i) && !IsWhiteSpace(At(i)) && At(i) != '/' && At(i) != '>') {
    if (At(i) == '\'' || At(i) == '"') return {i, false};
    ++i;
  }
  if (value) value->assign(text_.substr(start, i - start));
  return {i, true};
}

Walk::Step Walk::ElementTag(size_t at, Name* name, bool* opens) const {
  *opens = false;
  size_t i = SkipWhiteSpace(at + 1);
  size_t start = i;
  bool ok = StartsName(At(i));
  if (ok)
    while (!End(i) && InName(At(i))) ++i;
  *name = Name{start, i - start};
  while (!End(i)) {
    i = SkipWhiteSpace(i);
    if (End(i)) break;
    if (At(i) == '/') {
      if (At(i + 1) == '>') return {i + 2, ok};
      ok = false;
      ++i;
    } else if (At(i) == '>') {
      *opens = true;
      return {i + 1, ok};
    } else {
      // An attribute. Where the reader fails on one, go on from where it
      // stopped looking (at least a byte on), so the scan stays linear.
      Step attribute = Attribute(i, nullptr);
      ok = ok && attribute.ok;
      i = std::max(attribute.end, i + 1);
    }
  }
  return {text_.size(), false};
}

Walk::Step Walk::Declaration(size_t at, std::string* encoding) const {
  size_t i = at + 5;
  while (!End(i)) {
    if (At(i) == '>') return {i + 1, true};
    i = SkipWhiteSpace(i);
    bool is_encoding = StringEqual(i, "encoding", true);
    if (StringEqual(i, "version", true) || is_encoding || StringEqual(i, "standalone", true)) {
      std::string value;
      Step attribute = Attribute(i, encoding ? &value : nullptr);
      if (is_encoding && encoding) *encoding = value;
      if (!attribute.ok) return {std::max(attribute.end, i + 1), false};
      i = attribute.end;
    } else {
      while (!End(i) && At(i) != '>' && !IsWhiteSpace(At(i))) ++i;
    }
  }
  return {text_.size(), false};
}

Walk::Step Walk::EndTag(size_t at, const Name& name) const {
  size_t i = at + 2;
  if (text_.substr(i, name.length) != text_.substr(name.at, name.length)) return {i, false};
  i = SkipWhiteSpace(i + name.length);
  if (At(i) != '>') return {i, false};
  return {i + 1, true};
}

void Walk::TakeEncoding(const std::string& declared) {
  // The reader compares the value as a C string, by its start.
  std::string value = declared.substr(0, declared.find('\0'));
  auto starts = [&](std::string_view with) {
    if (value.size() < with.size()) return false;
    for (size_t k = 0; k < with.size(); ++k)
      if (tolower(static_cast<int>(value[k])) != tolower(static_cast<int>(with[k]))) return false;
    return true;
  };
  mode_ = value.empty() || starts("UTF-8") || starts("UTF8") ? Mode::kUtf8 : Mode::kLegacy;
}

size_t Walk::Deepest(size_t stop_above) {
  if (mode_ == Mode::kUnknown && At(0) == 0xEF && At(1) == 0xBB && At(2) == 0xBF)
    mode_ = Mode::kUtf8;
  std::vector<Name> open;  // elements whose content is being read
  size_t deepest = 0;
  size_t blank = 0;  // where the white space before `i` began
  size_t i = SkipWhiteSpace(0);
  while (!End(i)) {
    if (At(i) != '<') {
      // Text at the top is where the reader stops, without an error.
      if (open.empty()) break;
      // Kept white space belongs to the text.
      i = SkipText(TiXmlBase::IsWhiteSpaceCondensed() ? i : blank);
    } else if (!open.empty() && StringEqual(i, "</", false)) {
      i = EndTag(i, open.back()).end;
      open.pop_back();
    } else {
      switch (Identify(i)) {
        case Node::kDeclaration: {
          std::string encoding;
          Step declaration = Declaration(i, open.empty() ? &encoding : nullptr);
          if (open.empty()) {
            if (mode_ == Mode::kUnknown) TakeEncoding(encoding);
            // A declaration the reader cannot finish ends the document, quietly.
            if (!declaration.ok) return deepest;
          }
          i = declaration.end;
          break;
        }
        case Node::kComment:
          i = Past(i + 4, "-->");
          break;
        case Node::kCData:
          i = Past(i + 9, "]]>");
          break;
        case Node::kUnknown:
          i = Past(i + 1, ">");
          break;
        case Node::kElement: {
          deepest = std::max(deepest, open.size() + 1);
          if (deepest > stop_above) return deepest;
          Name name;
          bool opens;
          i = ElementTag(i, &name, &opens).end;
          if (opens) open.push_back(name);
          break;
        }
      }
    }
    blank = i;
    i = SkipWhiteSpace(i);
  }
  return deepest;
}

Mode ModeOf(XmlTextEncoding encoding) {
  switch (encoding) {
    case XmlTextEncoding::kLegacy:
      return Mode::kLegacy;
    case XmlTextEncoding::kUtf8:
      return Mode::kUtf8;
    case XmlTextEncoding::kDeclared:
      break;
  }
  return Mode::kUnknown;
}

}  // namespace

size_t XmlNestingDepth(const std::string& text, size_t stop_above, XmlTextEncoding encoding) {
  return Walk(text, ModeOf(encoding)).Deepest(stop_above);
}

}  // namespace brx::util

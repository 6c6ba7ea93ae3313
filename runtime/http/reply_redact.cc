#include "runtime/http/reply_redact.h"

#include <algorithm>
#include <cctype>

#include "runtime/http/url_redact.h"

namespace brx::http {

namespace {

constexpr char kMask[] = "***";
constexpr size_t npos = std::string::npos;

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

size_t BackslashesBefore(const std::string& s, size_t pos) {
  size_t n = 0;
  while (pos > n && s[pos - n - 1] == '\\') ++n;
  return n;
}

// A quote of the given escape level: `level` backslashes, then '"'.
bool QuoteAt(const std::string& s, size_t pos, size_t level) {
  if (pos + level >= s.size()) return false;
  for (size_t i = 0; i < level; ++i)
    if (s[pos + i] != '\\') return false;
  return s[pos + level] == '"';
}

// Where a string of the given escape level that starts at `from` ends (the
// first of its closing backslashes, or its quote); npos when cut off. A
// quote behind more backslashes belongs to the string.
size_t StringEnd(const std::string& s, size_t from, size_t level) {
  for (size_t i = from; i < s.size(); ++i)
    if (s[i] == '"' && BackslashesBefore(s, i) == level) return i - level;
  return npos;
}

bool EndsScalar(char c) {
  return IsSpace(c) || c == ',' || c == '}' || c == ']' || c == '"' || c == '\\' || c == '&' ||
         c == '<';
}

bool EndsQueryValue(char c) {
  return IsSpace(c) || c == '&' || c == '"' || c == '\'' || c == '<' || c == '#' || c == '\\';
}

// "Name": value, at any escape level.
std::string RedactJsonFields(const std::string& s) {
  std::string out;
  size_t copied = 0;
  size_t i = 0;
  size_t q;
  while ((q = s.find('"', i)) != npos) {
    i = q + 1;
    size_t level = BackslashesBefore(s, q);
    size_t name_end = q + 1;
    while (name_end < s.size() && IsNameChar(s[name_end])) ++name_end;
    if (name_end == q + 1 || !QuoteAt(s, name_end, level) ||
        !IsSecretParameterName(std::string_view(s).substr(q + 1, name_end - q - 1)))
      continue;
    size_t p = name_end + level + 1;
    while (p < s.size() && IsSpace(s[p])) ++p;
    if (p >= s.size() || s[p] != ':') continue;
    ++p;
    while (p < s.size() && IsSpace(s[p])) ++p;
    size_t begin = p;
    size_t end = p;
    if (QuoteAt(s, p, level)) {
      begin = p + level + 1;
      end = StringEnd(s, begin, level);
      if (end == npos) end = s.size();
    } else {
      while (end < s.size() && !EndsScalar(s[end])) ++end;
    }
    if (end > begin) {
      out.append(s, copied, begin - copied);
      out += kMask;
      copied = end;
    }
    i = end > i ? end : i;
  }
  out.append(s, copied, npos);
  return out;
}

// Name=value, as in a query, and Name="value" or Name='value', as an XML
// attribute (also with its quotes escaped inside a JSON string).
std::string RedactQueryPairs(const std::string& s) {
  std::string out;
  size_t copied = 0;
  size_t eq = 0;
  while ((eq = s.find('=', eq)) != npos) {
    size_t name_end = eq;
    while (name_end > 0 && IsSpace(s[name_end - 1])) --name_end;
    size_t name = name_end;
    while (name > 0 && IsNameChar(s[name - 1])) --name;
    size_t begin = eq + 1;
    size_t end = begin;
    if (name < name_end &&
        IsSecretParameterName(std::string_view(s).substr(name, name_end - name))) {
      while (begin < s.size() && IsSpace(s[begin])) ++begin;
      size_t level = 0;
      while (begin + level < s.size() && s[begin + level] == '\\') ++level;
      char quote = begin + level < s.size() ? s[begin + level] : '\0';
      if (quote == '"' || quote == '\'') {
        begin += level + 1;
        end = s.find(quote, begin);
        if (end == npos)
          end = s.size();
        else
          end -= std::min(level, end - begin);
      } else {
        end = begin;
        while (end < s.size() && !EndsQueryValue(s[end])) ++end;
      }
      if (end > begin) {
        out.append(s, copied, begin - copied);
        out += kMask;
        copied = end;
      }
    }
    eq = end > eq ? end : eq + 1;
  }
  out.append(s, copied, npos);
  return out;
}

// Where a tag opens or closes: '<' or '>', as they stand, as XML entities
// (an XML text inside an HTML page) or as JSON escapes (one inside a JSON
// string). The length of the mark at `pos`, 0 when there is none.
size_t TagMarkAt(const std::string& s, size_t pos, char mark) {
  if (pos >= s.size()) return 0;
  if (s[pos] == mark) return 1;
  std::string_view rest = std::string_view(s).substr(pos);
  auto starts = [&rest](std::string_view with) {
    if (rest.size() < with.size()) return false;
    for (size_t i = 0; i < with.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(rest[i])) != with[i]) return false;
    return true;
  };
  if (mark == '<' && (starts("&lt;") || starts("\\u003c"))) return rest[0] == '&' ? 4 : 6;
  if (mark == '>' && (starts("&gt;") || starts("\\u003e"))) return rest[0] == '&' ? 4 : 6;
  return 0;
}

size_t NextOpenMark(const std::string& s, size_t from) {
  for (size_t i = from; i < s.size(); ++i)
    if (TagMarkAt(s, i, '<')) return i;
  return npos;
}

// <Name ...>value</Name>, with or without a namespace prefix; the value
// runs to the next tag, or to the end of a text that was cut off.
std::string RedactXmlElements(const std::string& s) {
  std::string out;
  size_t copied = 0;
  size_t i = 0;
  while ((i = NextOpenMark(s, i)) != npos) {
    size_t name = i + TagMarkAt(s, i, '<');
    i = name;
    size_t name_end = name;
    while (name_end < s.size() && (IsNameChar(s[name_end]) || s[name_end] == ':' ||
                                   s[name_end] == '-' || s[name_end] == '.'))
      ++name_end;
    size_t local = s.rfind(':', name_end == name ? name : name_end - 1);
    if (local == npos || local < name)
      local = name;
    else
      ++local;
    if (local >= name_end ||
        !IsSecretParameterName(std::string_view(s).substr(local, name_end - local)))
      continue;
    // The end of the opening tag; its attributes are left to the pairs.
    size_t close = name_end;
    while (close < s.size() && !TagMarkAt(s, close, '>') && !TagMarkAt(s, close, '<')) ++close;
    if (close >= s.size() || !TagMarkAt(s, close, '>')) continue;
    if (close > name_end && s[close - 1] == '/') continue;  // empty element
    size_t begin = close + TagMarkAt(s, close, '>');
    size_t end = NextOpenMark(s, begin);
    if (end == npos) end = s.size();
    if (end > begin) {
      out.append(s, copied, begin - copied);
      out += kMask;
      copied = end;
    }
    i = end;
  }
  out.append(s, copied, npos);
  return out;
}

// The longest prefix of `text` of at most `limit` bytes that does not end
// inside a UTF-8 sequence.
size_t Utf8CutPoint(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

}  // namespace

std::string RedactReplySecrets(const std::string& text) {
  return RedactQueryPairs(RedactXmlElements(RedactJsonFields(text)));
}

std::string ReplyTextForLog(const std::string& text, size_t limit) {
  size_t cut = Utf8CutPoint(text, limit);
  if (cut == text.size()) return RedactReplySecrets(text);
  return RedactReplySecrets(text.substr(0, cut)) + "...(" + std::to_string(text.size()) + " bytes)";
}

}  // namespace brx::http

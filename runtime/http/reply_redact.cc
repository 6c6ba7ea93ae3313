#include "runtime/http/reply_redact.h"

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
  return IsSpace(c) || c == ',' || c == '}' || c == ']' || c == '"' || c == '\\' || c == '&' || c == '<';
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

// Name=value, as in a query.
std::string RedactQueryPairs(const std::string& s) {
  std::string out;
  size_t copied = 0;
  size_t eq = 0;
  while ((eq = s.find('=', eq)) != npos) {
    size_t name = eq;
    while (name > 0 && IsNameChar(s[name - 1])) --name;
    size_t end = eq + 1;
    if (name < eq && IsSecretParameterName(std::string_view(s).substr(name, eq - name))) {
      while (end < s.size() && !EndsQueryValue(s[end])) ++end;
      if (end > eq + 1) {
        out.append(s, copied, eq + 1 - copied);
        out += kMask;
        copied = end;
      }
    }
    eq = end;
  }
  out.append(s, copied, npos);
  return out;
}

}  // namespace

std::string RedactReplySecrets(const std::string& text) { return RedactQueryPairs(RedactJsonFields(text)); }

}  // namespace brx::http

#include "client/ui/controls/spin_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cwctype>

#include "runtime/util/text_convert.h"

namespace {

// The edit hands us at most this many bytes of text.
constexpr size_t kMaxTextBytes = 260;

// Reads the leading number of a text the way atof does (leading blanks and
// a sign allowed, trailing garbage ignored, nothing readable is 0), but
// independent of the process locale.
double LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  double value = 0;
  auto result =
      std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::fixed);
  if (result.ec != std::errc()) return 0;
  return negative ? -value : value;
}

}  // namespace

SpinValue::SpinValue(float minimum, float maximum, float step, float value, Kind kind)
    : minimum_(minimum), maximum_(maximum), step_(step), value_(value), kind_(kind) {}

void SpinValue::StepUp() { value_ = std::min(value_ + step_, maximum_); }

void SpinValue::StepDown() { value_ = std::max(value_ - step_, minimum_); }

void SpinValue::Set(float value) {
  if (kind_ == Kind::kInteger) value = std::trunc(value);
  value_ = std::clamp(value, minimum_, maximum_);
}

bool SpinValue::Parse(const std::wstring& typed) {
  if (typed.empty()) {
    value_ = minimum_;
    return true;
  }
  std::string text = brx::util::WideToAnsi(typed);
  if (text.size() > kMaxTextBytes) text.resize(kMaxTextBytes);

  bool cut = false;
  if (kind_ == Kind::kDecimal) {
    size_t point = text.find('.');
    if (point != std::string::npos && text.size() - point - 1 > 1) {
      text.resize(point + 2);
      cut = true;
    }
  }
  double number = LeadingNumber(text);
  if (kind_ == Kind::kInteger) {
    // An integer spin never keeps a typed fraction: the text would show
    // one number while another is saved.
    double whole = std::trunc(number);
    cut = whole != number || text.find('.') != std::string::npos;
    number = whole;
  }
  float parsed = static_cast<float>(number);
  if (parsed > maximum_) {
    value_ = maximum_;
    return true;
  }
  if (parsed < minimum_) {
    value_ = minimum_;
    return true;
  }
  bool same = parsed == value_;
  value_ = parsed;
  return cut || same;
}

std::wstring SpinValue::Text() const {
  char buffer[kMaxTextBytes];
  std::snprintf(buffer, sizeof buffer, kind_ == Kind::kInteger ? "%.0f" : "%.1f",
                static_cast<double>(value_));
  return brx::util::AnsiToWide(buffer);
}

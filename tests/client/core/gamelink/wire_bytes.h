#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gamelink_test {

using Bytes = std::vector<uint8_t>;

// "01 00 0a ff" -> bytes; spaces are ignored.
inline Bytes Hex(const std::string& text) {
  Bytes out;
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != '\n') digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

// A packet written field by field, the way the hook library lays it out.
struct Packet {
  Bytes bytes;
  Packet& u8(uint8_t v) {
    bytes.push_back(v);
    return *this;
  }
  Packet& u16(uint16_t v) {
    bytes.push_back(v & 0xFF);
    bytes.push_back(v >> 8);
    return *this;
  }
  Packet& i32(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes.push_back((u >> (8 * i)) & 0xFF);
    return *this;
  }
  // A UTF-16 text with its byte count.
  Packet& str(const std::u16string& s) {
    i32(static_cast<int32_t>(2 * s.size()));
    for (char16_t c : s) u16(c);
    return *this;
  }
  Packet& raw(const Bytes& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
  static Packet Header(uint16_t id) { return Packet().u16(id).u16(0); }
};

}  // namespace gamelink_test

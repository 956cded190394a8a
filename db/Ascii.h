#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Letter case of keywords, type names and engine names. Only the ASCII
// letters change, whatever the user's locale: under a Turkish locale the C
// library would map "I" to a dotless i and split "BIGINT" from "bigint".
namespace vantrix::db {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

// The value of a hexadecimal digit, in either letter case; -1 for
// anything else.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The length of the valid UTF-8 sequence at the start of `s` (1 for an
// ASCII byte), 0 if none: no overlong forms, no surrogates, nothing past
// U+10FFFF.
inline std::size_t Utf8SequenceLength(std::string_view s) {
  if (s.empty()) return 0;
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  const auto b1 = static_cast<unsigned char>(s[1]);
  if (b1 < low || b1 > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

constexpr bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A text over several lines on one: each run of spaces, tabs and line
// breaks is one space. Other control characters are left as they are.
inline std::string OneLine(std::string_view text) {
  std::string out;
  bool space = false;
  for (const char c : text) {
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
      space = true;
      continue;
    }
    if (space && !out.empty()) out += ' ';
    space = false;
    out += c;
  }
  return out;
}

}  // namespace vantrix::db

// Decoding and encoding of single UTF-8 characters, shared by the text
// helpers of this folder. Strict: overlong forms, surrogates and code points
// above U+10FFFF are invalid, so every invalid sequence is caught in one place.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace belvanto::utf8 {

inline constexpr char32_t kUngueltig = 0xFFFFFFFF;

// The character starting at `pos`. `laenge` receives the bytes it takes; for
// an invalid sequence the result is kUngueltig and `laenge` covers the longest
// prefix that could have begun a valid character (at least one byte).
inline char32_t decode(std::string_view s, std::size_t pos, std::size_t& laenge) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  laenge = 1;
  if (b0 < 0x80) return b0;
  int folgebytes = 0;
  char32_t cp = 0;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (b0 < 0xC2) {
    return kUngueltig;
  } else if (b0 < 0xE0) {
    folgebytes = 1;
    cp = b0 & 0x1F;
  } else if (b0 < 0xF0) {
    folgebytes = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 < 0xF5) {
    folgebytes = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return kUngueltig;
  }
  for (int k = 1; k <= folgebytes; ++k) {
    if (pos + k >= s.size()) {
      laenge = k;
      return kUngueltig;
    }
    const auto b = static_cast<unsigned char>(s[pos + k]);
    if (b < lo || b > hi) {
      laenge = k;
      return kUngueltig;
    }
    lo = 0x80;
    hi = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
  }
  laenge = folgebytes + 1;
  return cp;
}

inline void append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The upper-case partner of ASCII and Latin letters up to U+017F, as the
// Windows file systems compare names; every other character stays. Dotless ı,
// dotted İ and long ſ keep themselves so they never equal an ASCII letter.
inline char32_t foldChar(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c < 0x100 || c > 0x17F) return c;
  if (c == 0x130 || c == 0x131) return c;
  if (c <= 0x137) return (c & 1) ? c - 1 : c;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c : c - 1;
  if (c >= 0x14A && c <= 0x177) return (c & 1) ? c - 1 : c;
  if (c == 0x17A || c == 0x17C || c == 0x17E) return c - 1;
  return c;
}

}  // namespace belvanto::utf8

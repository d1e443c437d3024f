// Windows-1252 <-> UTF-8 with tables of our own (no iconv: its fallbacks
// depend on the process locale), line splitting and whole-file access.
#include "util/Encoding.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "util/Dateijobs.h"
#include "util/Fehler.h"
#include "util/Utf8.h"

namespace belvanto {

namespace {

// 0x80..0x9F; the five bytes Windows leaves undefined map to the C1 controls
// of the same number, as MultiByteToWideChar does.
constexpr std::array<char16_t, 32> kC1 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Base letters of U+0100..U+017F for the characters Windows-1252 lacks; "?"
// where there is no single base letter (the ligatures Ĳ, ĳ). Entries for
// Œ œ Š š Ÿ Ž ž are never used: those are found in kC1 first.
constexpr std::string_view kBasisBuchstaben =
    "AaAaAaCcCcCcCcDd"
    "DdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "Ii??JjKkkLlLlLlL"
    "lLlNnNnNnnNnOoOo"
    "OoOoRrRrRrSsSsSs"
    "SsTtTtTtUuUuUuUu"
    "UuUuWwYyYZzZzZzs";

char nachCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (std::size_t i = 0; i < kC1.size(); ++i) {
    if (kC1[i] == cp) return static_cast<char>(0x80 + i);
  }
  if (cp >= 0x100 && cp <= 0x17F) return kBasisBuchstaben[cp - 0x100];
  return '?';
}

struct DateiSchliesser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using Datei = std::unique_ptr<std::FILE, DateiSchliesser>;

}  // namespace

std::string cp1252ToUtf8(std::string_view bytes) {
  std::string ergebnis;
  ergebnis.reserve(bytes.size() + bytes.size() / 8);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      ergebnis += c;
    } else if (b < 0xA0) {
      utf8::append(ergebnis, kC1[b - 0x80]);
    } else {
      utf8::append(ergebnis, b);
    }
  }
  return ergebnis;
}

std::string utf8ToCp1252(std::string_view text) {
  std::string ergebnis;
  ergebnis.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (static_cast<unsigned char>(c) < 0x80) {
      ergebnis += c;
      ++pos;
      continue;
    }
    std::size_t laenge = 0;
    const char32_t cp = utf8::decode(text, pos, laenge);
    ergebnis += cp == utf8::kUngueltig ? '?' : nachCp1252(cp);
    pos += laenge;
  }
  return ergebnis;
}

bool isValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    std::size_t laenge = 0;
    if (utf8::decode(bytes, pos, laenge) == utf8::kUngueltig) return false;
    pos += laenge;
  }
  return true;
}

std::vector<std::string> splitLines(std::string_view bytes) {
  std::vector<std::string> zeilen;
  zeilen.reserve(countLines(bytes));
  forEachLine(bytes, [&](std::size_t, std::string_view zeile) { zeilen.emplace_back(zeile); });
  return zeilen;
}

std::size_t countLines(std::string_view bytes) {
  if (bytes.empty()) return 0;
  const auto enden = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  return enden + (bytes.back() == '\n' ? 0 : 1);
}

std::string readFileBytes(const std::filesystem::path& file) {
  Datei f(std::fopen(file.c_str(), "rb"));
  if (!f) dateiNichtLesbar(file);
  std::string inhalt;
  char puffer[65536];
  for (;;) {
    const auto n = std::fread(puffer, 1, sizeof puffer, f.get());
    inhalt.append(puffer, n);
    if (n < sizeof puffer) break;
  }
  if (std::ferror(f.get())) dateiNichtLesbar(file);
  return inhalt;
}

void writeFileBytes(const std::filesystem::path& file, std::string_view bytes) {
  dateiErsetzen(file, bytes);
}

std::vector<std::string> readCp1252Lines(const std::filesystem::path& file) {
  return splitLines(cp1252ToUtf8(readFileBytes(file)));
}

void writeCp1252Lines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& zeile : lines) {
    bytes += utf8ToCp1252(zeile);
    bytes += "\r\n";
  }
  writeFileBytes(file, bytes);
}

}  // namespace belvanto

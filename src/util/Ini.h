// INI files read and written by the rules of the Windows profile functions:
// case-insensitive sections and keys, trimmed values without enclosing quotes,
// at most 2047 characters, the first occurrence of a section or key wins.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace belvanto {

class IniDatei {
 public:
  // Reads the file once; an absent or unreadable file reads as empty. A UTF-8
  // byte-order mark is skipped; text that is valid UTF-8 is taken as UTF-8,
  // anything else as Windows-1252.
  explicit IniDatei(const std::filesystem::path& datei);

  std::string leseText(std::string_view section, std::string_view key,
                       std::string_view vorgabe) const;
  // Decimal, or hexadecimal after "$" or "0x"; anything else gives `vorgabe`.
  std::int32_t leseZahl(std::string_view section, std::string_view key,
                        std::int32_t vorgabe) const;
  // Read as a number: 0 is false, any other number true.
  bool leseSchalter(std::string_view section, std::string_view key, bool vorgabe) const;

  // Writes one key into the file, keeping every other line as it is; creates
  // the section or key (or the file) when absent. Throws Fehler
  // "In <file> kann nicht geschrieben werden" when the file cannot be written.
  static void schreibeText(const std::filesystem::path& datei, std::string_view section,
                           std::string_view key, std::string_view wert);

 private:
  std::vector<std::string> zeilen_;  // UTF-8
};

// Reading rules applied to one raw value text (after the "="), exposed for tests.
std::string iniWert(std::string_view roh);
bool iniZahl(std::string_view text, std::int32_t& zahl);

}  // namespace belvanto

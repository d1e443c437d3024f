// Windows-1252 on the outside, UTF-8 inside: every text file of the
// cooperative, the protocol and the mapping pass through here.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace belvanto {

std::string cp1252ToUtf8(std::string_view bytes);
// A character Windows-1252 lacks becomes "?", except Latin letters of
// U+0100..U+017F, which become their base letter as the Windows best-fit
// conversion does (ł -> l, č -> c, ő -> o). Invalid UTF-8 bytes become "?".
std::string utf8ToCp1252(std::string_view utf8);
bool isValidUtf8(std::string_view bytes);

// Splits bytes into lines ended by LF or CR LF. A last line without line end
// still counts; an empty text has no lines; a CR not followed by LF stays in
// its line.
std::vector<std::string> splitLines(std::string_view bytes);

// The same lines without copying them, for files of any size: how many, and
// each in turn as a view into `bytes` with its number.
std::size_t countLines(std::string_view bytes);
template <class Tun>
void forEachLine(std::string_view bytes, Tun&& tun) {
  std::size_t start = 0, nummer = 0;
  while (start < bytes.size()) {
    const auto ende = bytes.find('\n', start);
    if (ende == std::string_view::npos) {
      tun(nummer, bytes.substr(start));
      return;
    }
    auto laenge = ende - start;
    if (laenge > 0 && bytes[ende - 1] == '\r') --laenge;
    tun(nummer++, bytes.substr(start, laenge));
    start = ende + 1;
  }
}

// Whole file as bytes; throws Fehler naming the file when it cannot be read.
std::string readFileBytes(const std::filesystem::path& file);
// Replaces the file whole (see dateiErsetzen); throws Fehler naming the file.
void writeFileBytes(const std::filesystem::path& file, std::string_view bytes);

// A Windows-1252 text file as UTF-8 lines.
std::vector<std::string> readCp1252Lines(const std::filesystem::path& file);
// UTF-8 lines written as Windows-1252, each ended by CR LF.
void writeCp1252Lines(const std::filesystem::path& file, const std::vector<std::string>& lines);

}  // namespace belvanto

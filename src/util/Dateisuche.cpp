// Case-insensitive file lookup on a case-sensitive file system: wildcard
// matching on folded characters and a name order that is total, so "the first
// match" means the same file on every run.
#include "util/Dateisuche.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "util/Dateijobs.h"
#include "util/StringLib.h"
#include "util/Utf8.h"

namespace fs = std::filesystem;

namespace belvanto {

namespace {

// Folded characters; bytes that are no valid UTF-8 get values of their own
// above the Unicode range so they only match themselves (or "?" and "*").
std::u32string zeichen(std::string_view text) {
  std::u32string ergebnis;
  ergebnis.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t laenge = 0;
    const char32_t cp = utf8::decode(text, pos, laenge);
    if (cp == utf8::kUngueltig) {
      for (std::size_t k = 0; k < laenge; ++k) {
        ergebnis += static_cast<char32_t>(0x110000 + static_cast<unsigned char>(text[pos + k]));
      }
    } else {
      ergebnis += utf8::foldChar(cp);
    }
    pos += laenge;
  }
  return ergebnis;
}

}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  const std::u32string m = zeichen(pattern);
  const std::u32string n = zeichen(name);
  // Greedy matching with one backtrack point: linear in practice, never
  // exponential.
  std::size_t i = 0;
  std::size_t j = 0;
  std::size_t sternMuster = std::u32string::npos;
  std::size_t sternName = 0;
  while (j < n.size()) {
    if (i < m.size() && (m[i] == U'?' || m[i] == n[j])) {
      ++i;
      ++j;
    } else if (i < m.size() && m[i] == U'*') {
      sternMuster = i++;
      sternName = j;
    } else if (sternMuster != std::u32string::npos) {
      i = sternMuster + 1;
      j = ++sternName;
    } else {
      return false;
    }
  }
  while (i < m.size() && m[i] == U'*') ++i;
  return i == m.size();
}

std::vector<fs::path> findFiles(const fs::path& folder, std::string_view pattern) {
  std::vector<fs::path> treffer;
  std::error_code egal;
  for (const auto& name : ordnerNamen(folder, Eintraege::nurDateien, egal)) {
    if (wildcardMatch(pattern, name)) treffer.push_back(folder / name);
  }
  return treffer;
}

std::optional<fs::path> findFirstFile(const fs::path& folder, std::string_view pattern) {
  auto treffer = findFiles(folder, pattern);
  if (treffer.empty()) return std::nullopt;
  return treffer.front();
}

bool anyFileMatches(const fs::path& folder, std::string_view pattern) {
  return findFirstFile(folder, pattern).has_value();
}

fs::path resolveNoCase(const fs::path& base, const fs::path& relative) {
  // Folder names written the Windows way use "\" between folders.
  std::string relativText = relative.string();
  std::replace(relativText.begin(), relativText.end(), '\\', '/');
  const fs::path rel(relativText);

  fs::path ergebnis = rel.is_absolute() ? rel.root_path() : base;
  for (const auto& teil : rel.relative_path()) {
    const std::string name = teil.string();
    if (name.empty() || name == "." || name == "..") {
      ergebnis /= teil;
      continue;
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(ergebnis / teil, ec))) {
      ergebnis /= teil;
      continue;
    }
    std::error_code egal;
    const auto namen = ordnerNamen(ergebnis.empty() ? fs::path(".") : ergebnis, Eintraege::alle, egal);
    const auto gefunden = std::find_if(namen.begin(), namen.end(),
                                       [&](const std::string& n) { return equalsNoCase(n, name); });
    ergebnis /= gefunden != namen.end() ? fs::path(*gefunden) : teil;
  }
  return ergebnis;
}

}  // namespace belvanto

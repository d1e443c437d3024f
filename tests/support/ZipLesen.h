// Reads a ZIP archive back with libzip, independent of the code that wrote it.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace belvanto::test {

struct ZipEintrag {
  std::string inhalt;
  bool gespeichert = false;  // stored rather than deflated
};

// Entry name -> content, folder entries ("sub/") with empty content. Fails the
// calling test (by exception) when the archive cannot be opened.
std::map<std::string, ZipEintrag> zipLesen(const std::filesystem::path& archiv);

}  // namespace belvanto::test

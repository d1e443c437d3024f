// Reads a ZIP archive back with libzip, independent of the code that wrote it.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

namespace belvanto::test {

struct ArchivEintrag {
  std::string inhalt;
  int methode = -1;  // ZIP_CM_STORE or ZIP_CM_DEFLATE
  std::uint64_t dichteGroesse = 0;
  std::time_t mtime = 0;
};

// Entry name -> entry, read with libzip with its consistency check; reading
// every entry checks its CRC. Throws when the archive cannot be read.
std::map<std::string, ArchivEintrag> mitLibzipLesen(const std::filesystem::path& archiv);

}  // namespace belvanto::test

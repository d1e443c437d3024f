// Shared by the input file fuzz targets: a per-process working folder in
// memory where there is one and the checks every reader's cells must pass.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "util/Encoding.h"
#include "util/TextGrid.h"

namespace belvanto::fuzz {

inline const std::filesystem::path& arbeitsOrdner(const char* name) {
  const std::filesystem::path shm = "/dev/shm";
  static const std::filesystem::path ordner =
      (std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path()) /
      (std::string("belvanto-fuzz-") + name + "-" + std::to_string(::getpid()));
  static const struct Aufraeumen {
    ~Aufraeumen() {
      std::error_code ec;
      std::filesystem::remove_all(ordner, ec);
    }
  } aufraeumen;
  return ordner;
}

// Empties `ordner` and writes `bytes` to `datei` below it.
inline void frisch(const std::filesystem::path& ordner, const std::filesystem::path& datei,
                   std::string_view bytes) {
  std::filesystem::remove_all(ordner);
  std::filesystem::create_directories(datei.parent_path());
  std::ofstream aus(datei, std::ios::binary | std::ios::trunc);
  aus.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void pruefe(bool bedingung) {
  if (!bedingung) std::abort();
}

inline void zellenGueltig(const TextGrid& grid) {
  for (int r = 0; r < grid.rowCount(); ++r) {
    for (int c = 0; c < grid.colCount(); ++c) pruefe(isValidUtf8(grid.cell(c, r)));
  }
}

}  // namespace belvanto::fuzz

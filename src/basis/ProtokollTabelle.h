// What the protocol window shows, prints and saves: rows of six texts and
// their file form. The run's protocol is one; the ground knows no more of it.
#pragma once

#include <filesystem>

#include "util/TextGrid.h"

namespace belvanto {

class ProtokollTabelle {
 public:
  virtual ~ProtokollTabelle() = default;
  // Every row, the empty last one included.
  virtual const TextGrid& grid() const = 0;
  virtual int anzahlEintraege() const { return grid().rowCount() - 1; }
  // The rows as a file; throws Fehler naming the file.
  virtual void speichern(const std::filesystem::path& datei) const = 0;
};

}  // namespace belvanto

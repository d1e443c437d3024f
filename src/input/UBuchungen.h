// The cooperative's booking file: one supplier invoice or credit note per
// line, read into BuchungsGrid and deleted after reading.
#pragma once

#include <filesystem>

#include "util/TextGrid.h"

namespace belvanto {

class Buchungen {
 public:
  Buchungen() : BuchungsGrid(14, 1) {}

  // Reads the first "Buchungen*.csv" of <TempVerzeichnis>/ZRBELEG (row 0 the
  // header line) and deletes the file. Throws Fehler naming the file when it
  // cannot be read, or when it cannot be deleted (the run would otherwise read
  // it again and again).
  void DateiEinlesen(const std::filesystem::path& TempVerzeichnis);

  TextGrid BuchungsGrid;
};

}  // namespace belvanto

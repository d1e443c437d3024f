// Turns the bookings of one booking file into the rows of the output grid:
// one flat record per booking, already in the text form the DATEV writer puts
// into its files (decimal point, ISO dates, the member's supplier account and
// name, the account of the tax class, discount data, the PDF base name).
#pragma once

#include <string>

#include "basis/Bediener.h"
#include "basis/Konfiguration.h"
#include "export/AusgabeSpalten.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"
#include "util/TextGrid.h"

namespace belvanto {

// Column count of AusgabeGrid.

// Rebuilds AusgabeGrid (31 columns, owned by the caller): output row r belongs
// to booking row r+1, and one empty row ends the grid. Asks the supplier
// dialog through `lieferanten` for suppliers the mapping lacks.
void BuchungenUmsetzen(const TextGrid& BuchungsGrid, RechnungsIndex& index,
                       Lieferanten& lieferanten, const Konfiguration& konfiguration,
                       Bediener& bediener, TextGrid& AusgabeGrid);

// Refuses a booking file whose amounts the DATEV files cannot carry: every
// invoice amount, and every discount that is written, must be a plain decimal
// number with a decimal comma (no thousands separator, not empty). Throws
// Fehler naming `buchungsDatei`, the line of the file (the header being line
// 1) and the value. Meant to run before anything of the file is written.
void BetraegePruefen(const TextGrid& BuchungsGrid, const std::string& buchungsDatei);

// The discount percentage of column 29: discount * 100 / amount (both texts
// with a decimal point), rounded halves to even, as "<n>.00". Empty when it
// cannot be computed (zero amount, a text that is not a number).
std::string SkontoProzent(const std::string& betrag, const std::string& skonto);

// A file name without its extension: cut from the last "." when that "."
// comes after the last "\" or ":".
std::string OhneEndung(const std::string& dateiname);

}  // namespace belvanto

// The DATEV document transfer of one booking file: document.xml and one
// accounts-payable ledger file per invoice, written from the output grid into
// the working folder's "Belege".
#pragma once

#include <string>

#include "basis/Bediener.h"
#include "basis/Konfiguration.h"
#include "protocol/UProtokoll.h"
#include "util/TextGrid.h"

namespace belvanto {

inline constexpr const char* kDocNamespace = "http://xml.datev.de/bedi/tps/document/v04.0";
inline constexpr const char* kLedgerNamespace = "http://xml.datev.de/bedi/tps/ledger/v040";
inline constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

// Writes <ArbeitsVerzeichnis>/Belege/document.xml and the ledger files.
// Repairs zero amounts in AusgabeGrid (protocol entry "Falscher Betrag") and,
// with RNummerKuerzen, has the person shorten invoice numbers that are too
// long. Throws Fehler naming the file when a file cannot be written, and
// before writing anything when a PDF base name would leave the folder.
void DatevExportSchreiben(TextGrid& AusgabeGrid, const Konfiguration& konfiguration,
                          Protokoll& protokoll, Bediener& bediener);

// consolidatedAmount: general format with "." and at least two decimals
// (119 -> "119.00", 119.5 -> "119.50", 12.345 stays). Empty for infinities
// and NaN, which have no amount text.
std::string BetragFormatieren(double betrag);

}  // namespace belvanto

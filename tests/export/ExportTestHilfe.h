// Shared setup of the export tests: a working folder and a program folder in
// a temporary directory, the configuration pointing there, small input files
// in the cooperative's byte form, and checks on the written XML files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "basis/Konfiguration.h"
#include "protocol/UProtokoll.h"
#include "support/SkriptBediener.h"
#include "support/TestSupport.h"
#include "util/TextGrid.h"

namespace belvanto::test {

struct ExportUmgebung {
  ExportUmgebung();

  TempDir tmp;
  std::filesystem::path arbeit;    // ArbeitsVerzeichnis
  std::filesystem::path programm;  // beside the executable
  std::filesystem::path belege;    // arbeit / "Belege", created
  Konfiguration konfiguration;
  SkriptBediener bediener;
  Protokoll protokoll;

  // UTF-8 lines written as Windows-1252 with CR LF.
  void lieferanten(const std::vector<std::string>& zeilen) const;
  void index(const std::vector<std::string>& zeilen) const;
  void pdf(const std::string& name) const;
};

// Header plus one index line per invoice: PDF name, member 4711, invoice
// number, settlement number 815, call-off number, value date.
std::string indexZeile(const std::string& pdf, const std::string& rechnungsNr,
                       const std::string& abrufNr, const std::string& valuta);
inline constexpr const char* kIndexKopf =
    "Datei;F1;F2;F3;F4;Mitglied;RechnungsNr;F7;AbrNr;F9;AbrufNr;F11;F12;Valuta;F14;F15;F16;F17;"
    "F18";

// xmllint --noout on the file; empty when it parses, else xmllint's output.
std::string xmllintFehler(const std::filesystem::path& datei);

// The protocol rows as "a|b|c|d|e|f".
std::vector<std::string> protokollZeilen(const Protokoll& protokoll);

}  // namespace belvanto::test

// Test helpers of the folder and archive tests: archives read back with
// libzip and with Info-ZIP's unzip, and deterministic file contents.
#pragma once

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/ZipLesen.h"
#include "util/Fehler.h"

namespace belvanto::test {

// Entry names of an archive read back, in name order.
inline std::vector<std::string> schluessel(const std::map<std::string, ArchivEintrag>& m) {
  std::vector<std::string> k;
  for (const auto& [name, e] : m) k.push_back(name);
  return k;
}

// The message of the Fehler `f` throws, or "" when it throws none.
template <typename F>
std::string fehlerText(F&& f) {
  try {
    f();
  } catch (const Fehler& e) {
    return e.what();
  }
  return "";
}

struct Ausgabe {
  std::string text;
  int status = -1;
};
Ausgabe ausfuehren(const std::string& befehl);
std::string shellWort(const std::string& text);

// Entry names as `unzip -Z1` lists them, in archive order.
std::vector<std::string> unzipNamen(const std::filesystem::path& archiv);
// `unzip -l`: the listed names (last column), in archive order.
std::vector<std::string> unzipListe(const std::filesystem::path& archiv);
// An entry's content as `unzip -p` extracts it.
std::string unzipInhalt(const std::filesystem::path& archiv, const std::string& name);
// `unzip -tq` finds no error.
bool unzipPrueft(const std::filesystem::path& archiv);

// Entry name -> content; folders as "name/" -> "".
using Inhalt = std::map<std::string, std::string>;
// What an archive of `basis` must hold: every file and folder below it, no *.zip.
Inhalt ordnerInhalt(const std::filesystem::path& basis);
// The archive as Info-ZIP's unzip extracts it into `ordner`, after `unzip -t`
// found no error.
Inhalt mitUnzipLesen(const std::filesystem::path& archiv, const std::filesystem::path& ordner);
// The archive as Python's zipfile reads it (/usr/bin/python3), after its
// testzip() found no error.
Inhalt mitPythonLesen(const std::filesystem::path& archiv);

std::string zufallsBytes(std::size_t n, unsigned saat);
std::string textBytes(std::size_t n);
void mtimeSetzen(const std::filesystem::path& pfad, std::time_t zeit);
// Names of the entries of a folder, sorted.
std::vector<std::string> namenIn(const std::filesystem::path& ordner);

}  // namespace belvanto::test

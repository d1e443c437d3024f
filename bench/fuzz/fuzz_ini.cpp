// Fuzz target for the INI rules: any bytes as a configuration file, read with
// every kind of value, then one key written back and read again.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "util/Fehler.h"
#include "util/Ini.h"

namespace {

const std::filesystem::path& arbeitsDatei() {
  // Memory-backed where there is such a folder: every write-back syncs.
  const std::filesystem::path shm = "/dev/shm";
  static const std::filesystem::path datei =
      (std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path()) /
      ("belvanto-fuzz-ini-" + std::to_string(::getpid()) + ".ini");
  return datei;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using belvanto::IniDatei;
  const auto& datei = arbeitsDatei();
  {
    std::ofstream aus(datei, std::ios::binary | std::ios::trunc);
    aus.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  const IniDatei ini(datei);
  ini.leseText("Verzeichnisse", "ArbeitsVerzeichnis", "C:\\Temp\\Belvanto");
  ini.leseText("Firma", "FtpUser", "");
  ini.leseZahl("EMail-Versand", "MailPort", 0);
  ini.leseZahl("Diverses", "LfdNummer", 1);
  ini.leseSchalter("Diverses", "NummernUmsetzung", false);
  const std::string vorher = ini.leseText("Diverses", "LfdNummer", "<fehlt>");
  if (ini.leseText("a", "b", "").size() > 2047 * 4) std::abort();

  // Writing one key gives that key back and leaves a key of another section
  // as it was.
  IniDatei::schreibeText(datei, "Firma", "FtpUser", "neuer Wert");
  const IniDatei danach(datei);
  if (danach.leseText("Firma", "FtpUser", "") != "neuer Wert") std::abort();
  if (danach.leseText("Diverses", "LfdNummer", "<fehlt>") != vorher) std::abort();
  // libFuzzer ends without running destructors: leave nothing behind each run.
  std::filesystem::remove(datei);
  return 0;
}

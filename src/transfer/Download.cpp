// The download jobs. Copying and deleting are two passes on purpose: between
// them the run writes the backup, so a file leaves the server only once a
// copy of it is safe in the backup archive.
#include "transfer/Download.h"

#include <sys/stat.h>

#include <set>

#include "basis/Bediener.h"
#include "basis/Laufbuch.h"
#include "protocol/UProtokoll.h"
#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Encoding.h"
#include "util/StringLib.h"
#include "util/Utf8.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kKeineSolcheDatei = 2;  // SSH_FX_NO_SUCH_FILE: gone meanwhile

void hexAnhaengen(std::string& out, unsigned char b) {
  static const char ziffern[] = "0123456789ABCDEF";
  out += "\\x";
  out += ziffern[b >> 4];
  out += ziffern[b & 0xF];
}

std::string artGrund(const fxp_attrs& a) {
  if (!(a.flags & SSH_FILEXFER_ATTR_PERMISSIONS)) return "Art unbekannt";
  if (S_ISDIR(a.permissions)) return "ist ein Ordner";
  if (S_ISLNK(a.permissions)) return "ist eine Verknüpfung";
  return S_ISREG(a.permissions) ? "" : "ist keine gewöhnliche Datei";
}

// Still the file that was fetched: same size as listed, fetched and now, and
// the same modification time where the server gives one.
bool unveraendert(const fxp_attrs& gelistet, std::uint64_t lokal, const fxp_attrs& jetzt) {
  if (!(gelistet.flags & SSH_FILEXFER_ATTR_SIZE) || !(jetzt.flags & SSH_FILEXFER_ATTR_SIZE))
    return false;
  if (gelistet.size != lokal || jetzt.size != lokal) return false;
  if (!(gelistet.flags & SSH_FILEXFER_ATTR_ACMODTIME)) return true;
  return (jetzt.flags & SSH_FILEXFER_ATTR_ACMODTIME) && jetzt.mtime == gelistet.mtime;
}

}  // namespace

std::string DateinameErmitteln(std::string Zeile) {
  for (int i = 0; i <= 7; ++i) {
    const auto blank = Zeile.find(' ');
    bool fertig = false;
    if (i == 2) {
      const std::string kopf = blank == std::string::npos ? "" : Zeile.substr(0, blank);
      fertig = kopf == "<DIR>" || (!Zeile.empty() && Zeile[0] >= '0' && Zeile[0] <= '9');
    }
    if (blank != std::string::npos) Zeile.erase(0, blank + 1);
    Zeile.erase(0, Zeile.find_first_not_of(' '));
    if (i == 2 && fertig) break;
  }
  return Zeile;
}

std::string anzeigeName(std::string_view name) {
  std::string out;
  for (std::size_t pos = 0; pos < name.size();) {
    std::size_t laenge = 0;
    const char32_t cp = utf8::decode(name, pos, laenge);
    if (cp == utf8::kUngueltig || cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      for (std::size_t k = 0; k < laenge; ++k)
        hexAnhaengen(out, static_cast<unsigned char>(name[pos + k]));
    } else {
      out.append(name.substr(pos, laenge));
    }
    pos += laenge;
  }
  return out;
}

std::string nameUngeeignet(std::string_view name) {
  if (name.empty()) return "Name ist leer";
  if (name == "." || name == "..") return "Name bezeichnet einen Ordner";
  if (name.find('/') != std::string_view::npos) return "Name enthält \"/\"";
  if (name.find('\\') != std::string_view::npos) return "Name enthält \"\\\"";
  if (!isValidUtf8(name)) return "Name ist kein gültiges UTF-8";
  if (anzeigeName(name) != name) return "Name enthält Steuerzeichen";
  return {};
}

Download::Download(const Konfiguration& konfiguration, Bediener& bediener, Protokoll& protokoll,
                   Laufbuch* laufbuch)
    : k_(konfiguration), bediener_(bediener), protokoll_(protokoll), laufbuch_(laufbuch) {}

void Download::vermerken(const std::string& zeile) {
  if (laufbuch_) laufbuch_->schreiben(zeile);
}

void Download::nichtGeholt(const std::string& ordner, const std::string& name,
                           const std::string& grund) {
  vermerken("Nicht geholt: " + ordner + "/" + anzeigeName(name) + " (" + grund + ")");
  protokoll_.AddProtokollEintrag("Nicht geholt", anzeigeName(name), ordner, grund, "", "");
}

// The checksum is taken from the local copy, which is what the backup and
// the archives receive.
void Download::geholtVermerken(const std::string& ordner, const std::string& name,
                               const fs::path& lokal) {
  if (!laufbuch_) return;
  std::error_code ec;
  const auto groesse = fs::file_size(lokal, ec);
  const std::string sha = sha256Datei(lokal);
  vermerken("Geholt: " + ordner + "/" + anzeigeName(name) + ", " +
            (ec ? "Größe nicht lesbar" : std::to_string(groesse) + " Bytes") + ", SHA-256 " +
            (sha.empty() ? "nicht lesbar" : sha));
}

Serverzugang Download::zugang() const {
  return {k_.FtpZugang, k_.FtpUser, k_.FtpPasswort, k_.programmOrdner / kHostKeyName};
}

void Download::verbinden() {
  amServer("Keine Verbindung zum Server \"" + k_.FtpZugang + "\"", [&] { TestSFTP->Connect(); });
}

bool Download::ListingCallback(const fxp_names* names) {
  ListBox1.clear();
  for (int32_t i = 0; i < names->nnames; ++i)
    ListBox1.push_back({names->names[i].filename, names->names[i].attrs});
  return true;
}

void Download::ordnerLesen(const std::string& ordner) {
  amServer("Der Ordner \"" + ordner + "\" auf dem Server kann nicht geöffnet werden",
           [&] { TestSFTP->ChangeDir(ordner); });
  ListBox1.clear();
  amServer("Der Ordner \"" + ordner + "\" auf dem Server kann nicht gelesen werden",
           [&] { TestSFTP->ListDir("."); });
}

void Download::ZRDatenHolen() {
  TestSFTP.reset();
  TestSFTP = neueSitzung(zugang(), bediener_);
  TestSFTP->OnListing = [this](const fxp_names* names) { return ListingCallback(names); };
  geholt_.clear();
  verbinden();
  Trennen trennen(*TestSFTP);
  for (const char* name : {"ZRABR", "ZRBELEG"}) {
    const fs::path lokal = resolveNoCase(k_.ArbeitsVerzeichnis, name);
    ordnerAnlegen(lokal);
    DateienKopieren(std::string("../") + name, lokal);
  }
}

void Download::RemADVHolen() {
  if (!TestSFTP) throw Fehler("Die Zahlungsavise werden nur nach den Abrechnungsdaten geholt.");
  anmeldungSetzen(*TestSFTP, zugang());
  verbinden();
  Trennen trennen(*TestSFTP);
  ordnerAnlegen(resolveNoCase(k_.ArbeitsVerzeichnis, "Mail"));
  const fs::path lokal = resolveNoCase(k_.ArbeitsVerzeichnis, "REMADV");
  ordnerAnlegen(lokal);
  DateienKopieren("../REMADV", lokal);
}

void Download::DateienKopieren(const std::string& ordner, const fs::path& lokal) {
  geholt_.emplace_back(ordner, GeholtListe{});
  GeholtListe& geholt = geholt_.back().second;
  ordnerLesen(ordner);
  // On Linux "a.pdf" and "A.PDF" are two files, in the backup and for the
  // readers one name: only the first is fetched.
  std::set<std::string> gefaltet;
  const auto eintraege = ListBox1;
  for (const auto& e : eintraege) {
    const std::string fortschritt = "Kopieren (FTP): " + anzeigeName(e.name);
    try {
      if (e.name != "." && e.name != "..") {
        if (!gefaltet.insert(foldCase(e.name)).second)
          nichtGeholt(ordner, e.name, "gleicher Name in anderer Schreibweise");
        else
          dateiHolen(ordner, e, lokal, geholt);
      }
    } catch (...) {
      bediener_.fortschritt(fortschritt);
      throw;
    }
    bediener_.fortschritt(fortschritt);
    bediener_.nachrichtenVerarbeiten();
  }
}

void Download::dateiHolen(const std::string& ordner, const ListenEintrag& e, const fs::path& lokal,
                          GeholtListe& geholt) {
  const std::string pfad = "\"" + ordner + "/" + anzeigeName(e.name) + "\"";
  std::string grund = nameUngeeignet(e.name);
  fxp_attrs attrs = e.attrs;
  if (grund.empty()) {
    if (!(attrs.flags & SSH_FILEXFER_ATTR_PERMISSIONS))
      amServer("Die Datei " + pfad + " kann auf dem Server nicht geprüft werden",
               [&] { TestSFTP->GetStat(e.name, attrs); });
    grund = artGrund(attrs);
  }
  if (!grund.empty()) return nichtGeholt(ordner, e.name, grund);
  const fs::path ziel = lokal / e.name;
  amServer("Die Datei " + pfad + " kann nicht vom Server geholt werden",
           [&] { TestSFTP->DownloadFile(e.name, ziel.string(), false); });
  std::error_code ec;
  const auto groesse = fs::file_size(ziel, ec);
  if (!ec) geholt.emplace(e.name, Geholt{attrs, groesse});
  geholtVermerken(ordner, e.name, ziel);
}

void Download::GeholteLoeschen() {
  if (geholt_.empty() || !TestSFTP) return;
  anmeldungSetzen(*TestSFTP, zugang());
  verbinden();
  Trennen trennen(*TestSFTP);
  for (const auto& [ordner, geholt] : geholt_) DateienLoeschen(ordner, geholt);
  geholt_.clear();
}

void Download::DateienLoeschen(const std::string& ordner, const GeholtListe& geholt) {
  ordnerLesen(ordner);
  const auto eintraege = ListBox1;
  for (const auto& e : eintraege) {
    const std::string fortschritt = "Löschen (SFTP): " + anzeigeName(e.name);
    try {
      // What is not in the list arrived after the listing, or was skipped and
      // reported then: it stays for the next run.
      const auto it = geholt.find(e.name);
      if (it != geholt.end())
        loeschenWennUnveraendert(ordner, e.name, it->second);
      else if (e.name != "." && e.name != "..")
        vermerken("Nicht gelöscht: " + ordner + "/" + anzeigeName(e.name) +
                  " (in diesem Lauf nicht geholt)");
    } catch (...) {
      bediener_.fortschritt(fortschritt);
      throw;
    }
    bediener_.fortschritt(fortschritt);
  }
}

void Download::loeschenWennUnveraendert(const std::string& ordner, const std::string& name,
                                        const Geholt& geholt) {
  const std::string datei = ordner + "/" + anzeigeName(name);
  const std::string pfad = "\"" + datei + "\"";
  auto behalten = [&](const std::string& grund) {
    vermerken("Nicht gelöscht: " + datei + " (" + grund + ")");
    protokoll_.AddProtokollEintrag("Nicht gelöscht", anzeigeName(name), ordner, grund, "", "");
  };
  // The backup leaves ZIP files out; deleted here they would be nowhere.
  if (wildcardMatch("*.zip", name)) return behalten("nicht im Backup");
  fxp_attrs jetzt{};
  try {
    TestSFTP->GetStat(name, jetzt);
  } catch (const TGPuttySFTPException& e) {
    // An SFTP status concerns this file; anything else is the connection.
    if (TestSFTP->ErrorCode() < 0)
      throw Fehler("Die Datei " + pfad + " kann auf dem Server nicht geprüft werden (" + e.what() +
                   ")");
    if (TestSFTP->ErrorCode() == kKeineSolcheDatei)
      return vermerken("Nicht gelöscht: " + datei + " (schon nicht mehr auf dem Server)");
    return behalten("auf dem Server nicht mehr lesbar");
  }
  if (!unveraendert(geholt.attrs, geholt.lokaleGroesse, jetzt))
    return behalten("auf dem Server verändert, seit sie geholt wurde");
  amServer("Die Datei " + pfad + " kann auf dem Server nicht gelöscht werden",
           [&] { TestSFTP->DeleteFile(name); });
  vermerken("Auf dem Server gelöscht: " + datei);
}

}  // namespace belvanto

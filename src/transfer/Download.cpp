// The download jobs. Copying and deleting are two passes on purpose: between
// them the run writes the backup, so a file leaves the server only once a
// copy of it is safe in the backup archive. Each pass over a folder is one
// batch of the session: the results come back one by one in listing order,
// on this thread, so the log, the protocol and the progress line read as if
// the files had been handled one after the other.
#include "transfer/Download.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <set>

#include "basis/Bediener.h"
#include "basis/Laufbuch.h"
#include "protocol/UProtokoll.h"
#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Encoding.h"
#include "util/StringLib.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kKeineSolcheDatei = 2;  // SSH_FX_NO_SUCH_FILE: gone meanwhile

// Why an entry is not a file to fetch; empty for a file, and where the server
// tells no type (it is then tried as a file).
std::string artGrund(const fxp_attrs& a) {
  if (!(a.flags & SSH_FILEXFER_ATTR_PERMISSIONS)) return "";
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
  return sichtbar(name);
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

Serverzugang Download::zugang() const {
  return {k_.FtpZugang, k_.FtpUser, k_.FtpPasswort, k_.programmOrdner / kHostKeyName,
          k_.FtpZeitlimit};
}

std::string Download::grund(int32_t art, const std::string& text) const {
  return serverGrund(art, text, k_.FtpZeitlimit);
}

void Download::verbinden() {
  hostKeysPruefen(zugang().hostKeys);
  try {
    TestSFTP->Connect();
  } catch (const TGPuttySFTPException& e) {
    throw Fehler("Keine Verbindung zum Server \"" + k_.FtpZugang + "\" (" + grund(TestSFTP->ErrorKind(), e.what()) +
                 ")");
  }
}

bool Download::ListingCallback(const fxp_names* names) {
  ListBox1.clear();
  for (int32_t i = 0; i < names->nnames; ++i)
    ListBox1.push_back({names->names[i].filename, names->names[i].attrs});
  return true;
}

void Download::ordnerLesen(const std::string& ordner) {
  ListBox1.clear();
  ordnerListen(*TestSFTP, ordner, k_.FtpZeitlimit);
}

namespace {

void fuerVieleDateien(TTGPuttySFTP& sitzung) {
  // What keeps the data safe is the backup archive, flushed before anything
  // leaves the server; flushing every fetched file as well only costs time.
  sitzung.SetBooleanConfigValue("local_fsync", false);
  // A settlement's PDF in one read where the server announces that it takes
  // that much: fewer requests for both sides.
  sitzung.SetIntegerConfigValue("sftp_read_block", 255 * 1024);
}

// Reports, in listing order, the entries before `bis` that the batch does not
// handle, through `melden(i)`.
class Reihe {
 public:
  explicit Reihe(std::function<void(std::size_t)> melden) : melden_(std::move(melden)) {}
  void bis(std::size_t ende) {
    for (; naechster_ < ende; ++naechster_) melden_(naechster_);
  }
  void nach(std::size_t i) { naechster_ = i + 1; }

 private:
  std::function<void(std::size_t)> melden_;
  std::size_t naechster_ = 0;
};

}  // namespace

void Download::sitzungAnlegen() {
  TestSFTP.reset();
  TestSFTP = neueSitzung(zugang(), bediener_);
  TestSFTP->OnListing = [this](const fxp_names* names) { return ListingCallback(names); };
  fuerVieleDateien(*TestSFTP);
}

void Download::ZRDatenHolen() {
  sitzungAnlegen();
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

std::vector<std::string> Download::auswahl(const std::string& ordner,
                                           std::vector<bool>& artUnbekannt) {
  const std::size_t n = ListBox1.size();
  std::vector<std::string> gruende(n);
  artUnbekannt.assign(n, false);
  // On Linux "a.pdf" and "A.PDF" are two files, in the backup and for the
  // readers one name: only the first is fetched.
  std::set<std::string> gefaltet;
  std::vector<std::string> nachsehen;
  std::vector<std::size_t> nachsehenBei;
  for (std::size_t i = 0; i < n; ++i) {
    const ListenEintrag& e = ListBox1[i];
    if (e.name == "." || e.name == "..") continue;
    const bool doppelt = !gefaltet.insert(foldCase(e.name)).second;
    gruende[i] = doppelt ? "gleicher Name in anderer Schreibweise" : nameUngeeignet(e.name);
    if (!gruende[i].empty()) continue;
    if (e.attrs.flags & SSH_FILEXFER_ATTR_PERMISSIONS) {
      gruende[i] = artGrund(e.attrs);
    } else {
      nachsehen.push_back(e.name);
      nachsehenBei.push_back(i);
    }
  }
  if (nachsehen.empty()) return gruende;
  // The listing gave no type: the entry itself, not what a link points to.
  try {
    TestSFTP->StatFiles(nachsehen, [&](std::size_t k, const TTGPuttySFTP::BatchResult& r) {
      const std::size_t i = nachsehenBei[k];
      if (r.result == TG_BATCH_DONE) {
        if (r.attrs.flags & SSH_FILEXFER_ATTR_SIZE) {
          ListBox1[i].attrs.flags |= SSH_FILEXFER_ATTR_SIZE;
          ListBox1[i].attrs.size = r.attrs.size;
        }
        gruende[i] = artGrund(r.attrs);
        artUnbekannt[i] = !(r.attrs.flags & SSH_FILEXFER_ATTR_PERMISSIONS);
      } else if (r.errorCode == kKeineSolcheDatei) {
        gruende[i] = "nicht mehr auf dem Server";
      } else {
        artUnbekannt[i] = true;
      }
      return true;
    });
  } catch (const TGPuttySFTPException& e) {
    throw Fehler("Die Dateien im Ordner \"" + ordner + "\" können auf dem Server nicht geprüft werden (" +
                 grund(TestSFTP->ErrorKind(), e.what()) + ")");
  }
  return gruende;
}

void Download::DateienKopieren(const std::string& ordner, const fs::path& lokal) {
  geholt_.emplace_back(ordner, GeholtListe{});
  GeholtListe& geholt = geholt_.back().second;
  ordnerLesen(ordner);
  std::vector<bool> artUnbekannt;
  const std::vector<std::string> gruende = auswahl(ordner, artUnbekannt);
  const auto eintraege = ListBox1;

  std::vector<TTGPuttySFTP::BatchItem> auftraege;
  std::vector<std::size_t> bei;
  for (std::size_t i = 0; i < eintraege.size(); ++i) {
    const ListenEintrag& e = eintraege[i];
    if (e.name == "." || e.name == ".." || !gruende[i].empty()) continue;
    // Never more than the listing says: a file that keeps coming must not fill the disk.
    const bool groesseBekannt = e.attrs.flags & SSH_FILEXFER_ATTR_SIZE;
    auftraege.push_back({e.name, (lokal / e.name).string(),
                         groesseBekannt ? e.attrs.size : std::numeric_limits<uint64_t>::max()});
    bei.push_back(i);
  }

  auto fortschritt = [&](std::size_t i) {
    bediener_.fortschritt("Kopieren (FTP): " + anzeigeName(eintraege[i].name), Fortschritt::reihe);
    bediener_.nachrichtenVerarbeiten();
  };
  Reihe reihe([&](std::size_t i) {
    if (!gruende[i].empty()) nichtGeholt(ordner, eintraege[i].name, gruende[i]);
    fortschritt(i);
  });
  const bool mitPruefsumme = laufbuch_ != nullptr;
  std::optional<Fehler> fehler;
  try {
    TestSFTP->DownloadFiles(auftraege, [&](std::size_t k, const TTGPuttySFTP::BatchResult& r) {
      const std::size_t i = bei[k];
      const std::string& name = eintraege[i].name;
      const std::string datei = ordner + "/" + anzeigeName(name);
      const bool nachFehler = fehler.has_value();
      if (!nachFehler) reihe.bis(i);
      if (r.result == TG_BATCH_DONE) {
        const fs::path ziel = lokal / name;
        std::error_code ec;
        const auto groesse = fs::file_size(ziel, ec);
        if (!ec) geholt.emplace(name, Geholt{eintraege[i].attrs, groesse});
        // Taken from the local copy, which is what the backup and the archives
        // receive; it is still in the page cache here.
        const std::string summe = mitPruefsumme ? sha256Datei(ziel) : "";
        vermerken("Geholt: " + datei + ", " +
                  (ec ? "Größe nicht lesbar" : std::to_string(groesse) + " Bytes") + ", SHA-256 " +
                  (summe.empty() ? "nicht lesbar" : summe));
      } else if (artUnbekannt[i] && r.errorKind == TG_ERRKIND_STATUS && !nachFehler) {
        // Tried as a file because the server tells no type: a folder ends here.
        nichtGeholt(ordner, name, "Art unbekannt, als Datei nicht lesbar");
      } else {
        const std::string warum = grund(r.errorKind, r.error);
        if (nachFehler) {
          vermerken("Nicht geholt: " + datei + " (" + warum + ")");
        } else {
          fehler = Fehler("Die Datei \"" + datei + "\" kann nicht vom Server geholt werden (" +
                          warum + ")");
        }
      }
      if (!nachFehler || r.result == TG_BATCH_DONE) fortschritt(i);
      reihe.nach(i);
      return !fehler;
    });
  } catch (const TGPuttySFTPException& e) {
    if (!fehler)
      fehler = Fehler("Die Dateien im Ordner \"" + ordner + "\" können nicht vom Server geholt werden (" +
                      grund(TestSFTP->ErrorKind(), e.what()) + ")");
  }
  if (fehler) throw *fehler;
  reihe.bis(eintraege.size());
}

void Download::GeholteLoeschen() {
  if (geholt_.empty()) return;
  if (TestSFTP)
    anmeldungSetzen(*TestSFTP, zugang());
  else
    sitzungAnlegen();
  verbinden();
  Trennen trennen(*TestSFTP);
  for (const auto& [ordner, geholt] : geholt_) DateienLoeschen(ordner, geholt);
  geholt_.clear();
}

void Download::behalten(const std::string& ordner, const std::string& name,
                        const std::string& grund) {
  vermerken("Nicht gelöscht: " + ordner + "/" + anzeigeName(name) + " (" + grund + ")");
  protokoll_.AddProtokollEintrag("Nicht gelöscht", anzeigeName(name), ordner, grund, "", "");
}

void Download::DateienLoeschen(const std::string& ordner, const GeholtListe& geholt) {
  ordnerLesen(ordner);
  const auto eintraege = ListBox1;
  std::vector<std::string> namen;
  std::vector<std::size_t> bei;
  for (std::size_t i = 0; i < eintraege.size(); ++i) {
    const std::string& name = eintraege[i].name;
    // What is not in the list arrived after the listing, or was skipped and
    // reported then: it stays for the next run. The backup leaves ZIP files
    // out; deleted here they would be nowhere.
    if (geholt.count(name) && !wildcardMatch("*.zip", name)) {
      namen.push_back(name);
      bei.push_back(i);
    }
  }
  auto fortschritt = [&](std::size_t i) {
    bediener_.fortschritt("Löschen (SFTP): " + anzeigeName(eintraege[i].name), Fortschritt::reihe);
  };
  Reihe reihe([&](std::size_t i) {
    const std::string& name = eintraege[i].name;
    if (name != "." && name != "..") {
      if (!geholt.count(name))
        vermerken("Nicht gelöscht: " + ordner + "/" + anzeigeName(name) +
                  " (in diesem Lauf nicht geholt)");
      else
        behalten(ordner, name, "nicht im Backup");
    }
    fortschritt(i);
  });
  std::optional<Fehler> fehler;
  auto unveraendertSeit = [&](std::size_t k, const fxp_attrs& jetzt) {
    const Geholt& g = geholt.at(namen[k]);
    return unveraendert(g.attrs, g.lokaleGroesse, jetzt);
  };
  try {
    TestSFTP->DeleteFiles(
        namen, unveraendertSeit, [&](std::size_t k, const TTGPuttySFTP::BatchResult& r) {
          const std::size_t i = bei[k];
          const std::string& name = eintraege[i].name;
          const std::string datei = ordner + "/" + anzeigeName(name);
          const bool nachFehler = fehler.has_value();
          if (!nachFehler) reihe.bis(i);
          const bool status = r.errorKind == TG_ERRKIND_STATUS;
          if (r.result == TG_BATCH_DONE) {
            vermerken("Auf dem Server gelöscht: " + datei);
          } else if (r.result == TG_BATCH_KEPT) {
            behalten(ordner, name, "auf dem Server verändert, seit sie geholt wurde");
          } else if (r.result == TG_BATCH_FAILED && status && r.errorCode == kKeineSolcheDatei) {
            vermerken("Nicht gelöscht: " + datei + " (schon nicht mehr auf dem Server)");
          } else if (r.result == TG_BATCH_FAILED && status) {
            behalten(ordner, name, "auf dem Server nicht mehr lesbar");
          } else {
            const std::string warum = grund(r.errorKind, r.error);
            // A remove that went out and was never answered may have been carried out.
            if (r.result == TG_BATCH_FAILED_LATER && !status)
              vermerken("Löschen nicht bestätigt: " + datei + " (" + warum + ")");
            else if (nachFehler)
              vermerken("Nicht gelöscht: " + datei + " (" + warum + ")");
            if (!nachFehler)
              fehler = Fehler("Die Datei \"" + datei + "\" kann auf dem Server nicht " +
                              (r.result == TG_BATCH_FAILED ? "geprüft" : "gelöscht") +
                              " werden (" + warum + ")");
          }
          fortschritt(i);
          reihe.nach(i);
          return !fehler;
        });
  } catch (const TGPuttySFTPException& e) {
    if (!fehler)
      fehler = Fehler("Die Dateien im Ordner \"" + ordner +
                      "\" können auf dem Server nicht gelöscht werden (" +
                      grund(TestSFTP->ErrorKind(), e.what()) + ")");
  }
  if (fehler) throw *fehler;
  reihe.bis(eintraege.size());
}

}  // namespace belvanto

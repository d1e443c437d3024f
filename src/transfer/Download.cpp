// The download jobs. Copying and deleting are two passes on purpose: between
// them the run writes the backup, so a file leaves the server only once a
// copy of it is safe in the backup archive.
#include "transfer/Download.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

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

// Each file costs the server a few round trips; over one connection the run
// would mostly wait. The helper connections fetch and delete side by side.
class Download::Helfer {
 public:
  Helfer() = default;
  Helfer(Helfer&&) = default;
  Helfer& operator=(Helfer&&) = delete;
  ~Helfer() {
    for (auto& s : eigene) s->Disconnect();
  }
  std::vector<TTGPuttySFTP*> sitzungen;  // the run's own connection first
  std::vector<std::unique_ptr<TTGPuttySFTP>> eigene;
};

namespace {

constexpr std::size_t kVerbindungen = 4;

// What keeps the data safe is the backup archive, flushed before anything
// leaves the server; flushing every fetched file as well only costs time.
void ohneEinzelFlush(TTGPuttySFTP& sitzung) {
  sitzung.SetBooleanConfigValue("local_fsync", false);
}

// Runs `arbeit(sitzung, i)` for every i below n on the helpers' threads and
// hands each result to `fertig(i, ergebnis)` on this thread in the order of i
// (null when the item failed; the failure is raised after), so the log, the
// protocol and the progress line read as if one connection had done it all.
// A failure ends the work at its item: what the helpers did beyond it is
// reported nowhere, as it would not have been done one by one.
template <class Ergebnis, class Arbeit, class Fertig>
void nebeneinander(const std::vector<TTGPuttySFTP*>& sitzungen, std::size_t n,
                   Arbeit arbeit, Fertig fertig) {
  struct Platz {
    bool fertig = false;
    Ergebnis ergebnis{};
    std::exception_ptr fehler;
  };
  std::vector<Platz> plaetze(n);
  std::mutex m;
  std::condition_variable cv;
  std::size_t naechster = 0;
  bool aufhoeren = false;
  auto helfen = [&](TTGPuttySFTP& sitzung) {
    for (;;) {
      std::size_t i = 0;
      {
        const std::lock_guard lock(m);
        if (aufhoeren || naechster == n) return;
        i = naechster++;
      }
      Ergebnis e{};
      std::exception_ptr fehler;
      try {
        e = arbeit(sitzung, i);
      } catch (...) {
        fehler = std::current_exception();
      }
      {
        const std::lock_guard lock(m);
        plaetze[i] = {true, std::move(e), fehler};
      }
      cv.notify_all();
    }
  };
  std::vector<std::jthread> faeden;
  // Declared after the threads, so it tells them to stop before they are joined.
  struct Ende {
    std::mutex& m;
    bool& aufhoeren;
    ~Ende() {
      const std::lock_guard lock(m);
      aufhoeren = true;
    }
  } ende{m, aufhoeren};
  for (TTGPuttySFTP* s : sitzungen) faeden.emplace_back(helfen, std::ref(*s));
  for (std::size_t i = 0; i < n; ++i) {
    {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return plaetze[i].fertig; });
    }
    if (plaetze[i].fehler) {
      fertig(i, nullptr);
      std::rethrow_exception(plaetze[i].fehler);
    }
    fertig(i, &plaetze[i].ergebnis);
  }
}

}  // namespace

// The run's own connection, already in `ordner`, and up to three more for
// the items that need the server.
Download::Helfer Download::helferVerbinden(const std::string& ordner, std::size_t auftraege) {
  Helfer helfer;
  helfer.sitzungen.push_back(TestSFTP.get());
  while (helfer.sitzungen.size() < std::min(kVerbindungen, auftraege)) {
    auto sitzung = neueSitzung(zugang(), bediener_);
    ohneEinzelFlush(*sitzung);
    amServer("Keine Verbindung zum Server \"" + k_.FtpZugang + "\"", [&] { sitzung->Connect(); });
    helfer.eigene.push_back(std::move(sitzung));
    helfer.sitzungen.push_back(helfer.eigene.back().get());
    amServer("Der Ordner \"" + ordner + "\" auf dem Server kann nicht geöffnet werden",
             [&] { helfer.sitzungen.back()->ChangeDir(ordner); });
  }
  return helfer;
}

void Download::ZRDatenHolen() {
  TestSFTP.reset();
  TestSFTP = neueSitzung(zugang(), bediener_);
  TestSFTP->OnListing = [this](const fxp_names* names) { return ListingCallback(names); };
  ohneEinzelFlush(*TestSFTP);
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

namespace {

// What became of one listed name on a helper.
struct Holung {
  bool geholt = false;
  std::string grund;  // why it was not fetched
  fxp_attrs attrs{};
  std::optional<std::uint64_t> groesse;
  std::string sha256;
};

}  // namespace

void Download::DateienKopieren(const std::string& ordner, const fs::path& lokal) {
  geholt_.emplace_back(ordner, GeholtListe{});
  GeholtListe& geholt = geholt_.back().second;
  ordnerLesen(ordner);
  const auto eintraege = ListBox1;
  // On Linux "a.pdf" and "A.PDF" are two files, in the backup and for the
  // readers one name: only the first is fetched.
  std::set<std::string> gefaltet;
  std::vector<bool> doppelt(eintraege.size());
  for (std::size_t i = 0; i < eintraege.size(); ++i)
    doppelt[i] = !gefaltet.insert(foldCase(eintraege[i].name)).second;
  const Helfer helfer = helferVerbinden(ordner, eintraege.size());
  const bool mitPruefsumme = laufbuch_ != nullptr;
  nebeneinander<Holung>(
      helfer.sitzungen, eintraege.size(),
      [&](TTGPuttySFTP& sftp, std::size_t i) {
        const ListenEintrag& e = eintraege[i];
        Holung h;
        if (e.name == "." || e.name == "..") return h;
        h.grund = doppelt[i] ? "gleicher Name in anderer Schreibweise" : nameUngeeignet(e.name);
        h.attrs = e.attrs;
        const std::string pfad = "\"" + ordner + "/" + anzeigeName(e.name) + "\"";
        if (h.grund.empty()) {
          if (!(h.attrs.flags & SSH_FILEXFER_ATTR_PERMISSIONS))
            amServer("Die Datei " + pfad + " kann auf dem Server nicht geprüft werden",
                     [&] { sftp.GetStat(e.name, h.attrs); });
          h.grund = artGrund(h.attrs);
        }
        if (!h.grund.empty()) return h;
        const fs::path ziel = lokal / e.name;
        amServer("Die Datei " + pfad + " kann nicht vom Server geholt werden",
                 [&] { sftp.DownloadFile(e.name, ziel.string(), false); });
        h.geholt = true;
        std::error_code ec;
        const auto groesse = fs::file_size(ziel, ec);
        if (!ec) h.groesse = groesse;
        // Taken from the local copy, which is what the backup and the archives
        // receive; it is still in the page cache here.
        if (mitPruefsumme) h.sha256 = sha256Datei(ziel);
        return h;
      },
      [&](std::size_t i, const Holung* h) {
        const std::string& name = eintraege[i].name;
        if (h && h->geholt) {
          if (h->groesse) geholt.emplace(name, Geholt{h->attrs, *h->groesse});
          vermerken("Geholt: " + ordner + "/" + anzeigeName(name) + ", " +
                    (h->groesse ? std::to_string(*h->groesse) + " Bytes" : "Größe nicht lesbar") +
                    ", SHA-256 " + (h->sha256.empty() ? "nicht lesbar" : h->sha256));
        } else if (h && !h->grund.empty()) {
          nichtGeholt(ordner, name, h->grund);
        }
        bediener_.fortschritt("Kopieren (FTP): " + anzeigeName(name));
        if (h) bediener_.nachrichtenVerarbeiten();
      });
}

void Download::GeholteLoeschen() {
  if (geholt_.empty() || !TestSFTP) return;
  anmeldungSetzen(*TestSFTP, zugang());
  verbinden();
  Trennen trennen(*TestSFTP);
  for (const auto& [ordner, geholt] : geholt_) DateienLoeschen(ordner, geholt);
  geholt_.clear();
}

namespace {

// What became of one listed name on a helper: a line for the log, and
// whether the file stays on the server for a reason the protocol shows.
struct Loeschung {
  std::string vermerk;
  std::string behaltenGrund;
};

}  // namespace

void Download::DateienLoeschen(const std::string& ordner, const GeholtListe& geholt) {
  ordnerLesen(ordner);
  const auto eintraege = ListBox1;
  const Helfer helfer = helferVerbinden(ordner, geholt.size());
  nebeneinander<Loeschung>(
      helfer.sitzungen, eintraege.size(),
      [&](TTGPuttySFTP& sftp, std::size_t i) -> Loeschung {
        const std::string& name = eintraege[i].name;
        const std::string datei = ordner + "/" + anzeigeName(name);
        const std::string pfad = "\"" + datei + "\"";
        // What is not in the list arrived after the listing, or was skipped
        // and reported then: it stays for the next run.
        const auto it = geholt.find(name);
        if (it == geholt.end()) {
          if (name == "." || name == "..") return {};
          return {"Nicht gelöscht: " + datei + " (in diesem Lauf nicht geholt)", ""};
        }
        // The backup leaves ZIP files out; deleted here they would be nowhere.
        if (wildcardMatch("*.zip", name)) return {"", "nicht im Backup"};
        fxp_attrs jetzt{};
        try {
          sftp.GetStat(name, jetzt);
        } catch (const TGPuttySFTPException& e) {
          // An SFTP status concerns this file; anything else is the connection.
          if (sftp.ErrorCode() < 0)
            throw Fehler("Die Datei " + pfad + " kann auf dem Server nicht geprüft werden (" +
                         e.what() + ")");
          if (sftp.ErrorCode() == kKeineSolcheDatei)
            return {"Nicht gelöscht: " + datei + " (schon nicht mehr auf dem Server)", ""};
          return {"", "auf dem Server nicht mehr lesbar"};
        }
        if (!unveraendert(it->second.attrs, it->second.lokaleGroesse, jetzt))
          return {"", "auf dem Server verändert, seit sie geholt wurde"};
        amServer("Die Datei " + pfad + " kann auf dem Server nicht gelöscht werden",
                 [&] { sftp.DeleteFile(name); });
        return {"Auf dem Server gelöscht: " + datei, ""};
      },
      [&](std::size_t i, const Loeschung* l) {
        const std::string& name = eintraege[i].name;
        if (l && !l->behaltenGrund.empty()) {
          vermerken("Nicht gelöscht: " + ordner + "/" + anzeigeName(name) + " (" +
                    l->behaltenGrund + ")");
          protokoll_.AddProtokollEintrag("Nicht gelöscht", anzeigeName(name), ordner,
                                         l->behaltenGrund, "", "");
        } else if (l && !l->vermerk.empty()) {
          vermerken(l->vermerk);
        }
        bediener_.fortschritt("Löschen (SFTP): " + anzeigeName(name));
      });
}

}  // namespace belvanto

// The main window's download jobs: the cooperative's three data folders into
// the working folder, and, once the backup holds them, their deletion on the
// server. Only what this run fetched whole, and what is unchanged since,
// is deleted; files that arrive later, fail or change stay for the next run.
// Names the server sends are handed back to it as they are and become local
// names as they are, unless they could name anything but a file in the folder.
// Each job is one connection; a folder's files travel as one batch with many
// requests in flight, and every file's fate is told in listing order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "basis/Konfiguration.h"
#include "transfer/Serverzugang.h"

namespace belvanto {

class Bediener;
class Laufbuch;
class Protokoll;

// The name out of one directory listing line: a DOS line (date, time, "<DIR>"
// or size, name) or a Unix long line (eight fields, name). A text without
// blanks stays as it is. Bare names from the listing never go through it.
std::string DateinameErmitteln(std::string Zeile);

// Why a name from the server must not become a local path, in German; empty
// when it is a plain file name.
std::string nameUngeeignet(std::string_view name);
// The name for the protocol and the progress line: control characters and
// bytes that are no UTF-8 as "\xNN".
std::string anzeigeName(std::string_view name);

class Download {
 public:
  // Every file fetched (with size and SHA-256), deleted or left alone goes to
  // `laufbuch` when there is one.
  Download(const Konfiguration& konfiguration, Bediener& bediener, Protokoll& protokoll,
           Laufbuch* laufbuch = nullptr);

  // "../ZRABR" and "../ZRBELEG" into the working folder's ZRABR and ZRBELEG.
  void ZRDatenHolen();
  // "../REMADV" into REMADV, on a new connection of the same session.
  void RemADVHolen();
  // Call only once the backup holds the fetched files: deletes them on the
  // server, on a new connection of the same session, where they are still
  // as fetched. Nothing happens when nothing was fetched.
  void GeholteLoeschen();

  // A file fetched whole: the listing's attributes and the local size.
  struct Geholt {
    fxp_attrs attrs;
    std::uint64_t lokaleGroesse;
  };
  using GeholtListe = std::map<std::string, Geholt>;
  // Per remote folder, in the order fetched.
  using GeholtStand = std::vector<std::pair<std::string, GeholtListe>>;
  const GeholtStand& geholt() const { return geholt_; }
  // What a run that did not finish fetched, for the deletion it still owes.
  void geholtUebernehmen(GeholtStand stand) { geholt_ = std::move(stand); }

 private:
  struct ListenEintrag {
    std::string name;
    fxp_attrs attrs;
  };
  void verbinden();
  void sitzungAnlegen();
  bool ListingCallback(const fxp_names* names);
  void ordnerLesen(const std::string& ordner);
  void DateienKopieren(const std::string& ordner, const std::filesystem::path& lokal);
  // Why each listed entry is not fetched ("" for those to fetch); entries
  // the listing gives no type for are looked up on the server.
  std::vector<std::string> auswahl(const std::string& ordner, std::vector<bool>& artUnbekannt);
  void DateienLoeschen(const std::string& ordner, const GeholtListe& geholt);
  void nichtGeholt(const std::string& ordner, const std::string& name, const std::string& grund);
  void behalten(const std::string& ordner, const std::string& name, const std::string& grund);
  void vermerken(const std::string& zeile);
  // A German reason for a failure on the server.
  std::string grund(int32_t art, const std::string& text) const;
  Serverzugang zugang() const;

  const Konfiguration& k_;
  Bediener& bediener_;
  Protokoll& protokoll_;
  Laufbuch* laufbuch_;
  std::unique_ptr<TTGPuttySFTP> TestSFTP;
  std::vector<ListenEintrag> ListBox1;
  GeholtStand geholt_;
};

}  // namespace belvanto

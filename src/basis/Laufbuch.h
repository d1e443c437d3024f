// The run log "Belvanto.log" beside the INI: one dated line per event of a
// run (start and end, every file fetched or deleted on the server, every
// archive and mail, protocol entries and what the person was told or asked),
// so that a settlement can be traced long after its protocol was closed.
// Every line reaches the file with one write(2) as it happens, so a crash
// loses nothing written before it; a log that cannot be written never stops
// a run.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace belvanto {

inline constexpr const char* kLaufbuchName = "Belvanto.log";

class Laufbuch {
 public:
  // The log lives in `ordner` as "Belvanto.log", found in any letter case.
  // Nothing is opened before the first line.
  explicit Laufbuch(std::filesystem::path ordner);
  ~Laufbuch();
  Laufbuch(const Laufbuch&) = delete;
  Laufbuch& operator=(const Laufbuch&) = delete;

  // Told once per program start, with the German reason, when the file cannot
  // be opened or written. The log is silent from then until schliessen().
  void beiStoerung(std::function<void(const std::string& grund)> melden);

  // Appends "yyyy-mm-dd hh:mm:ss <ereignis>" and a line feed. Line breaks in
  // the event become " / ", other control characters (C0 and C1), the
  // characters that turn the direction of text and bytes that are no UTF-8
  // "\xNN", so one event is always one line and shows what it holds. The
  // events are built from known fields and never hold a password.
  void schreiben(std::string_view ereignis);
  // Syncs and closes the file; the next line opens it again.
  void schliessen();

  std::filesystem::path datei() const;

 private:
  bool oeffnen();
  void stoerung(int fehler);

  std::filesystem::path ordner_;
  std::function<void(const std::string&)> melden_;
  int fd_ = -1;
  bool gestoert_ = false;
  bool gemeldet_ = false;
};

// Lower-case hex SHA-256 of the file's bytes; empty when it cannot be read.
std::string sha256Datei(const std::filesystem::path& datei);

}  // namespace belvanto

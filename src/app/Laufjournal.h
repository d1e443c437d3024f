// The journal of a run that holds data found nowhere else: written once the
// backup holds the settlement and before anything of it leaves the server or
// the working folder, removed when the run has ended. A journal that is still
// there at the next Start means that run stopped half-way (killed, power cut,
// an error); the next run then finishes it from the backup instead of
// clearing the working folder and fetching again.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "files/Arbeitsordner.h"
#include "transfer/Download.h"

namespace belvanto {

inline constexpr const char* kJournalName = "Belvanto.lauf";

// What a stopped run left to finish.
struct OffenerLauf {
  std::string beginn;  // "dd.mm.yyyy hh:mm", for the person
  int lfdNummer = 0;   // the number its first document archive got
  std::filesystem::path backup;
  Archiveintraege eintraege;     // what the backup holds of this run
  Download::GeholtStand geholt;  // what it fetched, for the deletion on the server
  bool geloescht = false;        // whether that deletion is done
};

class Laufjournal {
 public:
  // The journal is "Belvanto.lauf" in `ordner`.
  explicit Laufjournal(std::filesystem::path ordner) : datei_(std::move(ordner) / kJournalName) {}

  // The stopped run, or nullopt when the last run ended. Throws Fehler when
  // the journal cannot be read or is damaged.
  std::optional<OffenerLauf> lesen() const;
  // Writes the journal whole and synced. Throws Fehler.
  void anlegen(const OffenerLauf& lauf);
  // Notes that the deletion on the server is done. Throws Fehler.
  void geloescht();
  // The run has ended; best effort.
  void entfernen();

  const std::filesystem::path& datei() const { return datei_; }

 private:
  std::filesystem::path datei_;
};

}  // namespace belvanto

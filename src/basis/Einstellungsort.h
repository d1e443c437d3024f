// Where Belvanto.ini lives, and with it the supplier mapping, the run log,
// the host keys, the certificate pins and the journal of a stopped run. A
// copy in a folder of its own keeps them beside the executable, as on
// Windows; an installed program (in /usr/bin, which no user may write) keeps
// each user's in that user's configuration folder.
#pragma once

#include <filesystem>
#include <string>

namespace belvanto {

struct Einstellungsort {
  std::filesystem::path ordner;
  // The folder was new to this user: the example was copied there, and the
  // program must end so that it is filled in before any run.
  bool beispielKopiert = false;
};

// The folder of the executable when it holds Belvanto.ini (in any letter
// case); otherwise $XDG_CONFIG_HOME/Belvanto, or ~/.config/Belvanto, created
// for the user alone. Where that holds no Belvanto.ini yet, `beispiel` is
// copied there (readable by the user alone) with an empty supplier mapping
// beside it. Throws Fehler.
Einstellungsort einstellungsortFinden(const std::filesystem::path& programmOrdner,
                                      const std::filesystem::path& beispiel);

// What the person is told when the example was copied to `ini`.
std::string beispielKopiertText(const std::filesystem::path& ini);

}  // namespace belvanto

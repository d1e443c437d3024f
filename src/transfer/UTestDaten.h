// The data check behind "Test" and the start of a run with download: logs in,
// looks into the three data folders beside the login folder, ticks a box of
// the data check window for each kind of file it finds, and answers whether
// every expected kind is there. The window is reached through Bediener; this
// class holds what the window held: its own session and the folder's names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "basis/Bediener.h"
#include "transfer/Serverzugang.h"

namespace belvanto {

class DatenTest {
 public:
  DatenTest(Bediener& bediener, std::filesystem::path hostKeys, int32_t zeitlimitSekunden = 60);

  // True when every expected kind of file is on the server. A failed login
  // is its own message and a false result; a folder that cannot be entered
  // or listed ends the check with Fehler. With `FensterZeigen` the window
  // stays open, else it closes when everything was found.
  bool TestDaten(const std::string& UserName, const std::string& Password,
                 const std::string& HostName, bool MitRemADV, bool FensterZeigen);

 private:
  bool TestListingCallback(const fxp_names* names);
  bool DateiGefunden(const std::string& fragment) const;
  // Ticks `kasten` when `fragment` is found; false when not.
  bool pruefen(const char* fragment, DatenKasten kasten);
  void ordnerLesen(const std::string& ordner);

  Bediener& bediener_;
  std::filesystem::path hostKeys_;
  int32_t zeitlimit_;
  std::unique_ptr<TTGPuttySFTP> TestSFTP;
  std::vector<std::string> TestDateiListe;
};

}  // namespace belvanto

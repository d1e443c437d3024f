#include "util/Fehler.h"

namespace belvanto {

void dateiNichtLesbar(const std::filesystem::path& datei) {
  throw Fehler("Die Datei \"" + datei.string() + "\" kann nicht gelesen werden.");
}

void dateiNichtSchreibbar(const std::filesystem::path& datei) {
  throw Fehler("Die Datei \"" + datei.string() + "\" kann nicht geschrieben werden.");
}

}  // namespace belvanto

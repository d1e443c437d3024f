// XML escaping for the DATEV files.
#include "export/ExportText.h"

namespace belvanto {

namespace {

void escapedAnhaengen(std::string& ziel, std::string_view wert, bool attribut) {
  // Runs of harmless characters are copied in one piece; values rarely hold
  // anything to escape.
  std::size_t lauf = 0;
  for (std::size_t i = 0; i < wert.size(); ++i) {
    const char c = wert[i];
    const char* ersatz = nullptr;
    switch (c) {
      case '&':
        ersatz = "&amp;";
        break;
      case '<':
        ersatz = "&lt;";
        break;
      case '>':
        ersatz = "&gt;";
        break;
      case '"':
        if (attribut) ersatz = "&quot;";
        break;
      default:
        // XML 1.0 forbids most control characters even as references, and a
        // line break would tear the one-value-per-line layout apart.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') ersatz = "?";
    }
    if (ersatz == nullptr) continue;
    ziel.append(wert.substr(lauf, i - lauf));
    ziel += ersatz;
    lauf = i + 1;
  }
  ziel.append(wert.substr(lauf));
}

}  // namespace

void xmlTextAnhaengen(std::string& ziel, std::string_view wert) {
  escapedAnhaengen(ziel, wert, false);
}

void xmlAttributAnhaengen(std::string& ziel, std::string_view wert) {
  escapedAnhaengen(ziel, wert, true);
}

}  // namespace belvanto

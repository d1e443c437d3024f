// Text pieces the DATEV export needs beyond util/: cutting UTF-8 texts by
// character position and making values safe for XML.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace belvanto {

// Up to `anzahl` characters (not bytes) of a UTF-8 text from character
// position `start` (counted from 0); what lies beyond the end is missing.
std::string zeichenAusschnitt(std::string_view utf8, std::size_t start, std::size_t anzahl);

// Appends a value as XML element text: "&", "<", ">" escaped, and control
// characters XML does not allow replaced by "?".
void xmlTextAnhaengen(std::string& ziel, std::string_view wert);
// As above, for a value inside a double-quoted attribute: also "&quot;".
void xmlAttributAnhaengen(std::string& ziel, std::string_view wert);

}  // namespace belvanto

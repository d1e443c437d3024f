// Making values safe for the DATEV XML files.
#pragma once

#include <string>
#include <string_view>

namespace belvanto {

// Appends a value as XML element text: "&", "<", ">" escaped, and control
// characters XML does not allow replaced by "?".
void xmlTextAnhaengen(std::string& ziel, std::string_view wert);
// As above, for a value inside a double-quoted attribute: also "&quot;".
void xmlAttributAnhaengen(std::string& ziel, std::string_view wert);

}  // namespace belvanto

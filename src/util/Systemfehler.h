// German wording of operating system error numbers, for the error texts of
// the folder and archive operations. The C library's own texts are English.
#pragma once

#include <string>

namespace belvanto {

std::string systemFehlerText(int fehlerNummer);

}  // namespace belvanto

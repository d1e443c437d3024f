// The one exception type of the program's own logic: it carries the German
// text a person reads in the error box that ends the current action.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace belvanto {

class Fehler : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Standard texts for file access failures, each naming the file.
[[noreturn]] void dateiNichtLesbar(const std::filesystem::path& datei);
[[noreturn]] void dateiNichtSchreibbar(const std::filesystem::path& datei);

}  // namespace belvanto

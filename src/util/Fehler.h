// The one exception type of the program's own logic: it carries the German
// text a person reads in the error box that ends the current action.
#pragma once

#include <stdexcept>
#include <string>

namespace belvanto {

class Fehler : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace belvanto

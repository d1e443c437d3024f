// Helpers of the input file tests: files in the cooperative's byte form and a
// way to run a step without the right to delete in a folder.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace belvanto::test {

// Lines (already Windows-1252 bytes) each ended by CR LF.
inline std::string crlf(std::initializer_list<std::string_view> zeilen) {
  std::string bytes;
  for (auto z : zeilen) {
    bytes += z;
    bytes += "\r\n";
  }
  return bytes;
}

// For death tests: runs `schritt` under the ordinary file permissions (as root
// by dropping to the user "nobody" first) and ends the process with its exit
// code, so a folder or file made read-only really is read-only.
[[noreturn]] inline void ohneSonderrechte(const std::function<int()>& schritt) {
  if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(90);
  std::_Exit(schritt());
}

// Lets every user look into `ordner` (whatever the umask made of it).
inline void fuerAlleBetretbar(const std::filesystem::path& ordner) {
  using std::filesystem::perms;
  std::filesystem::permissions(ordner, perms::owner_all | perms::group_read | perms::group_exec |
                                           perms::others_read | perms::others_exec);
}

}  // namespace belvanto::test

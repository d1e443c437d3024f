// The known-hosts store as a file of any bytes meets the program: the stored
// fingerprints of a host are read from it for the changed-key question, for
// the default port and another. Besides crashes and sanitizer reports it
// checks that every fingerprint has the form ssh-keygen prints.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "transfer/Serverzugang.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path datei =
      std::filesystem::path("/dev/shm") / ("fuzz-knownhosts-" + std::to_string(::getpid()));
  {
    std::ofstream aus(datei, std::ios::binary | std::ios::trunc);
    aus.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  for (const auto& [host, port] : {std::pair<const char*, int>{"127.0.0.1", 22},
                                   {"sftp.morvenau.de", 2222}}) {
    for (const auto& f : belvanto::gespeicherteFingerabdruecke(datei, host, port))
      if (f.rfind("SHA256:", 0) != 0 || f.size() != 7 + 43) std::abort();
  }
  return 0;
}

// Reading archives back for the tests, independently of the code that wrote
// them: libzip's reader, and unzip run as a program.
#include "ArchivPruefung.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <sstream>
#include <stdexcept>

#include "support/TestSupport.h"

namespace belvanto::test {

namespace fs = std::filesystem;

std::string shellWort(const std::string& text) {
  std::string aus = "'";
  for (char c : text) aus += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return aus + "'";
}

Ausgabe ausfuehren(const std::string& befehl) {
  Ausgabe aus;
  FILE* p = ::popen((befehl + " 2>&1").c_str(), "r");
  if (!p) return aus;
  char puffer[4096];
  std::size_t n;
  while ((n = std::fread(puffer, 1, sizeof puffer, p)) > 0) aus.text.append(puffer, n);
  int status = ::pclose(p);
  aus.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return aus;
}

static std::vector<std::string> zeilen(const std::string& text) {
  std::vector<std::string> aus;
  std::istringstream in(text);
  for (std::string z; std::getline(in, z);) aus.push_back(z);
  return aus;
}

std::vector<std::string> unzipNamen(const fs::path& archiv) {
  Ausgabe a = ausfuehren("unzip -Z1 " + shellWort(archiv.string()));
  if (a.status != 0) throw std::runtime_error("unzip -Z1 failed: " + a.text);
  return zeilen(a.text);
}

std::vector<std::string> unzipListe(const fs::path& archiv) {
  Ausgabe a = ausfuehren("unzip -l " + shellWort(archiv.string()));
  if (a.status != 0) throw std::runtime_error("unzip -l failed: " + a.text);
  // Between the two dashed lines: length, date, time, then the name.
  std::vector<std::string> namen;
  bool drin = false;
  for (const auto& z : zeilen(a.text)) {
    if (z.rfind("---------", 0) == 0) {
      if (drin) break;
      drin = true;
      continue;
    }
    if (!drin) continue;
    std::istringstream in(z);
    std::string laenge, datum, zeit;
    in >> laenge >> datum >> zeit;
    std::string name;
    std::getline(in, name);
    namen.push_back(name.substr(name.find_first_not_of(' ')));
  }
  return namen;
}

std::string unzipInhalt(const fs::path& archiv, const std::string& name) {
  Ausgabe a =
      ausfuehren("unzip -p " + shellWort(archiv.string()) + " " + shellWort(name) + " 2>/dev/null");
  if (a.status != 0) throw std::runtime_error("unzip -p failed for " + name);
  return a.text;
}

bool unzipPrueft(const fs::path& archiv) {
  return ausfuehren("unzip -tq " + shellWort(archiv.string())).status == 0;
}

Inhalt ordnerInhalt(const fs::path& basis) {
  Inhalt inhalt;
  for (const auto& e : fs::recursive_directory_iterator(basis)) {
    const std::string name = e.path().lexically_relative(basis).generic_string();
    std::string endung = e.path().extension().string();
    for (auto& c : endung) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (e.is_directory())
      inhalt[name + "/"] = "";
    else if (endung != ".zip")
      inhalt[name] = readBytes(e.path());
  }
  return inhalt;
}

Inhalt mitUnzipLesen(const fs::path& archiv, const fs::path& ordner) {
  if (!unzipPrueft(archiv)) throw std::runtime_error("unzip -t failed for " + archiv.string());
  fs::remove_all(ordner);
  Ausgabe a =
      ausfuehren("unzip -qq " + shellWort(archiv.string()) + " -d " + shellWort(ordner.string()));
  if (a.status != 0) throw std::runtime_error("unzip failed: " + a.text);
  return ordnerInhalt(ordner);
}

Inhalt mitPythonLesen(const fs::path& archiv) {
  // Each entry as "<name length> <data length>\n<name><data>".
  static const char* kSkript =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1]) as z:\n"
      "  bad = z.testzip()\n"
      "  if bad: sys.exit('testzip: ' + bad)\n"
      "  for i in z.infolist():\n"
      "    n, d = i.filename.encode(), z.read(i)\n"
      "    sys.stdout.buffer.write(b'%d %d\\n' % (len(n), len(d)) + n + d)\n";
  Ausgabe a =
      ausfuehren("/usr/bin/python3 -c " + shellWort(kSkript) + " " + shellWort(archiv.string()));
  if (a.status != 0) throw std::runtime_error("python zipfile failed: " + a.text);
  Inhalt inhalt;
  for (std::size_t pos = 0; pos < a.text.size();) {
    const std::size_t zeile = a.text.find('\n', pos);
    std::size_t n = 0, d = 0;
    if (zeile == std::string::npos || std::sscanf(a.text.c_str() + pos, "%zu %zu", &n, &d) != 2)
      throw std::runtime_error("python output unreadable");
    inhalt[a.text.substr(zeile + 1, n)] = a.text.substr(zeile + 1 + n, d);
    pos = zeile + 1 + n + d;
  }
  return inhalt;
}

std::string zufallsBytes(std::size_t n, unsigned saat) {
  std::mt19937 gen(saat);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

std::string textBytes(std::size_t n) {
  static const std::string satz =
      "Rechnung 4711 vom 05.07.2024 über 119,00 EUR an die Morvenau eG; Zahlbar ohne Abzug.\r\n";
  std::string s;
  while (s.size() < n) s += satz + std::to_string(s.size()) + ";";
  s.resize(n);
  return s;
}

void mtimeSetzen(const fs::path& pfad, std::time_t zeit) {
  struct timespec zeiten[2] = {{zeit, 0}, {zeit, 0}};
  if (::utimensat(AT_FDCWD, pfad.c_str(), zeiten, AT_SYMLINK_NOFOLLOW) != 0)
    throw std::runtime_error("utimensat failed for " + pfad.string());
}

std::vector<std::string> namenIn(const fs::path& ordner) {
  std::vector<std::string> namen;
  for (const auto& e : fs::directory_iterator(ordner))
    namen.push_back(e.path().filename().string());
  std::sort(namen.begin(), namen.end());
  return namen;
}

}  // namespace belvanto::test

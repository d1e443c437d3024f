#include "support/TestSupport.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "util/Encoding.h"

namespace belvanto::test {

TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int i = 0; i < 100; ++i) {
    auto candidate = base / ("belvanto-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string readBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::filesystem::path testData(const std::filesystem::path& rel) {
  return std::filesystem::path(BELVANTO_TEST_DATA) / rel;
}

std::string crlf(std::initializer_list<std::string_view> zeilen) {
  std::string bytes;
  for (auto z : zeilen) {
    bytes += z;
    bytes += "\r\n";
  }
  return bytes;
}

std::string cp1252Zeilen(const std::vector<std::string>& utf8Zeilen) {
  std::string bytes;
  for (const auto& z : utf8Zeilen) bytes += utf8ToCp1252(z) + "\r\n";
  return bytes;
}

void cp1252Datei(const std::filesystem::path& datei, const std::vector<std::string>& utf8Zeilen) {
  writeBytes(datei, cp1252Zeilen(utf8Zeilen));
}

void testIniSchreiben(const std::filesystem::path& programm, const std::filesystem::path& basis,
                      std::string_view weiter) {
  writeBytes(programm / "Belvanto.ini",
             "[Verzeichnisse]\r\nArbeitsVerzeichnis=" + (basis / "arbeit").string() +
                 "\r\nBackupVerzeichnis=" + (basis / "backup").string() +
                 "\r\nAusgabeVerzeichnis=" + (basis / "ausgabe").string() + "\r\n" +
                 std::string(weiter));
  // As the bookkeeper keeps it: the passwords in it are nobody else's business.
  std::filesystem::permissions(programm / "Belvanto.ini", std::filesystem::perms(0600));
}

std::vector<std::string> infoMailOhneServer() {
  return {"Verbindungsfehler Versand !\rIn Belvanto.ini ist kein Mailserver (MailServer) eingetragen.",
          "Verbindungsfehler Versand !\rEinstellungsfehler"};
}

}  // namespace belvanto::test

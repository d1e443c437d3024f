// Helpers every test uses: a temporary folder that cleans up after itself,
// byte-exact file access that does not go through the code under test, text
// files in the cooperative's byte form and a configuration file to start from.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace belvanto::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& rel) const { return path_ / rel; }

 private:
  std::filesystem::path path_;
};

std::string readBytes(const std::filesystem::path& file);
// Creates missing parent folders.
void writeBytes(const std::filesystem::path& file, std::string_view bytes);
// Path of a file in tests/data.
std::filesystem::path testData(const std::filesystem::path& rel);

// Lines already in byte form, each ended by CR LF.
std::string crlf(std::initializer_list<std::string_view> zeilen);
// UTF-8 lines as Windows-1252, each ended by CR LF.
std::string cp1252Zeilen(const std::vector<std::string>& utf8Zeilen);
void cp1252Datei(const std::filesystem::path& datei, const std::vector<std::string>& utf8Zeilen);

// Writes `programm`/Belvanto.ini: [Verzeichnisse] with the working, backup and
// output folders arbeit, backup and ausgabe below `basis`, then `weiter` as it
// stands (further keys of that section first, then further sections).
void testIniSchreiben(const std::filesystem::path& programm, const std::filesystem::path& basis,
                      std::string_view weiter);

// The two boxes of the information mail, which every successful run sends,
// as the scripted Bediener records them when the INI names no mail server.
std::vector<std::string> infoMailOhneServer();

}  // namespace belvanto::test

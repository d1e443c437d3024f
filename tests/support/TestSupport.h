// Helpers every test uses: a temporary folder that cleans up after itself and
// byte-exact file access that does not go through the code under test.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

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

}  // namespace belvanto::test

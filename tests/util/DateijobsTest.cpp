// Replacing a file whole and creating folders: what a failure leaves behind.
#include "util/Dateijobs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TestSupport.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

std::vector<std::string> namen(const fs::path& ordner) {
  std::error_code ec;
  return ordnerNamen(ordner, Eintraege::alle, ec);
}

TEST(DateiErsetzen, NewContentKeepsModeAndFollowsLinks) {
  test::TempDir d;
  writeBytes(d / "echt.ini", "alt");
  fs::permissions(d / "echt.ini", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("echt.ini", d / "link.ini");
  dateiErsetzen(d / "link.ini", "neu");
  EXPECT_TRUE(fs::is_symlink(d / "link.ini"));
  EXPECT_EQ(readBytes(d / "echt.ini"), "neu");
  EXPECT_EQ(fs::status(d / "echt.ini").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(namen(d.path()), (std::vector<std::string>{"echt.ini", "link.ini"}));
}

TEST(DateiErsetzen, FailureLeavesTheOldFileAndNoTemporaryFile) {
  test::TempDir d;
  fs::create_directory(d / "ordner");
  writeBytes(d / "alt.txt", "alt");
  const struct {
    fs::path ziel;
    std::string grund;
  } faelle[] = {
      {d / "ordner", "Ist ein Verzeichnis"},
      {d / "fehlt" / "x.txt", "Datei oder Verzeichnis nicht gefunden"},
      {d / "alt.txt" / "x.txt", "Kein Verzeichnis"},
  };
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.ziel.string());
    try {
      dateiErsetzen(f.ziel, "neu");
      ADD_FAILURE() << "no error";
    } catch (const Fehler& e) {
      EXPECT_EQ(std::string(e.what()),
                "Die Datei \"" + f.ziel.string() + "\" kann nicht geschrieben werden (" + f.grund +
                    ").");
    }
  }
  EXPECT_EQ(readBytes(d / "alt.txt"), "alt");
  EXPECT_EQ(namen(d.path()), (std::vector<std::string>{"alt.txt", "ordner"}));
}

TEST(OrdnerAnlegen, CreatesParentsAndNamesWhatIsInTheWay) {
  test::TempDir d;
  ordnerAnlegen(d / "a" / "b");
  ordnerAnlegen(d / "a" / "b");
  EXPECT_TRUE(fs::is_directory(d / "a" / "b"));
  writeBytes(d / "datei", "");
  try {
    ordnerAnlegen(d / "datei" / "c");
    ADD_FAILURE() << "no error";
  } catch (const Fehler& e) {
    EXPECT_EQ(std::string(e.what()), "Das Verzeichnis \"" + (d / "datei" / "c").string() +
                                         "\" kann nicht angelegt werden (Kein Verzeichnis).");
  }
}

}  // namespace
}  // namespace belvanto

// The protocol table's row rule and the saved text file, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/UProtokoll.h"
#include "support/TestSupport.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(Protokoll, EachEntryTakesTheLastRowAndLeavesAnEmptyOneBehind) {
  Protokoll protokoll;
  EXPECT_EQ(protokoll.grid().rowCount(), 1);
  EXPECT_EQ(protokoll.anzahlEintraege(), 0);

  protokoll.AddProtokollEintrag("Abrechnung vom", "15.03.2024", "Mitgliedsnr.", "4711", " ", "");
  protokoll.AddProtokollEintrag("Falscher Betrag", "R-1", "01.03.2024", "Müller", "12,50", "");

  const TextGrid& grid = protokoll.grid();
  EXPECT_EQ(protokoll.anzahlEintraege(), 2);
  EXPECT_EQ(grid.rowCount(), 3);
  EXPECT_EQ(grid.colCount(), 6);
  EXPECT_EQ(grid.cell(0, 0), "Abrechnung vom");
  EXPECT_EQ(grid.cell(3, 0), "4711");
  EXPECT_EQ(grid.cell(4, 0), " ");
  EXPECT_EQ(grid.cell(3, 1), "Müller");
  for (int spalte = 0; spalte < 6; ++spalte) EXPECT_EQ(grid.cell(spalte, 2), "");
}

struct SpeicherFall {
  const char* name;
  std::vector<std::vector<std::string>> eintraege;
  std::string erwartet;
};

void PrintTo(const SpeicherFall& fall, std::ostream* os) {
  *os << fall.name;
}

class ProtokollSpeichern : public testing::TestWithParam<SpeicherFall> {};

TEST_P(ProtokollSpeichern, WritesEveryRowRunTogetherWithCrLf) {
  Protokoll protokoll;
  for (const auto& e : GetParam().eintraege) {
    protokoll.AddProtokollEintrag(e[0], e[1], e[2], e[3], e[4], e[5]);
  }
  TempDir dir;
  protokoll.speichern(dir / "protokoll.txt");
  EXPECT_EQ(readBytes(dir / "protokoll.txt"), GetParam().erwartet);
}

INSTANTIATE_TEST_SUITE_P(
    Faelle, ProtokollSpeichern,
    testing::Values(
        SpeicherFall{"Leer", {}, "\r\n"},
        SpeicherFall{"Kopfzeile",
                     {{"Abrechnung vom", "15.03.2024", "Mitgliedsnr.", "4711", " ", ""}},
                     "Abrechnung vom15.03.2024Mitgliedsnr.4711 \r\n\r\n"},
        SpeicherFall{"UmlauteAlsWindows1252",
                     {{"Rechnungsbetrag zu hoch", "R-7", "01.03.2024", "Bäckerei Größe",
                       "Ist: 1.234,50 €", "Soll: 1000"}},
                     "Rechnungsbetrag zu hochR-701.03.2024B\xE4"
                     "ckerei Gr\xF6\xDF"
                     "eIst: 1.234,50 \x80Soll: 1000\r\n\r\n"},
        SpeicherFall{"WenigeBelege",
                     {{"Abrechnung vom", "15.03.2024", "Mitgliedsnr.", "4711", " ", ""},
                      {"Stimmt das ?", "Es wurden nur", "3", "Belege verarbeitet !", "", ""}},
                     "Abrechnung vom15.03.2024Mitgliedsnr.4711 \r\n"
                     "Stimmt das ?Es wurden nur3Belege verarbeitet !\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProtokollSpeichernDatei, EmptiesAnExistingFileFirst) {
  TempDir dir;
  writeBytes(dir / "alt.txt", std::string(500, 'x'));
  Protokoll protokoll;
  protokoll.AddProtokollEintrag("A", "B", "", "", "", "");
  protokoll.speichern(dir / "alt.txt");
  EXPECT_EQ(readBytes(dir / "alt.txt"), "AB\r\n\r\n");
}

TEST(ProtokollSpeichernDatei, UnwritablePathRaisesGermanErrorNamingTheFile) {
  TempDir dir;
  const auto ziele = {dir / "fehlt" / "protokoll.txt", dir.path()};
  for (const std::filesystem::path& ziel : ziele) {
    Protokoll protokoll;
    try {
      protokoll.speichern(ziel);
      FAIL() << "no error for " << ziel;
    } catch (const Fehler& fehler) {
      const std::string text = fehler.what();
      EXPECT_NE(text.find(ziel.string()), std::string::npos) << text;
      EXPECT_NE(text.find("geschrieben"), std::string::npos) << text;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "fehlt"));
}

}  // namespace
}  // namespace belvanto

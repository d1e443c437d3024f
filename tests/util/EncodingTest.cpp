// Windows-1252 both ways over all bytes, the best-fit letters, and text files
// read as lines with every kind of line end.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Encoding.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(Cp1252, RangeOf80To9FBothWays) {
  const struct {
    unsigned char byte;
    std::string_view utf8;
  } faelle[] = {
      {0x80, "€"},      {0x81, "\u0081"}, {0x82, "‚"}, {0x83, "ƒ"},      {0x84, "„"},
      {0x85, "…"},      {0x86, "†"},      {0x87, "‡"}, {0x88, "ˆ"},      {0x89, "‰"},
      {0x8A, "Š"},      {0x8B, "‹"},      {0x8C, "Œ"}, {0x8D, "\u008D"}, {0x8E, "Ž"},
      {0x8F, "\u008F"}, {0x90, "\u0090"}, {0x91, "‘"}, {0x92, "’"},      {0x93, "“"},
      {0x94, "”"},      {0x95, "•"},      {0x96, "–"}, {0x97, "—"},      {0x98, "˜"},
      {0x99, "™"},      {0x9A, "š"},      {0x9B, "›"}, {0x9C, "œ"},      {0x9D, "\u009D"},
      {0x9E, "ž"},      {0x9F, "Ÿ"},
  };
  for (const auto& f : faelle) {
    const std::string byte(1, static_cast<char>(f.byte));
    EXPECT_EQ(cp1252ToUtf8(byte), f.utf8) << int(f.byte);
    EXPECT_EQ(utf8ToCp1252(f.utf8), byte) << int(f.byte);
  }
}

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
  std::string alle;
  for (int b = 0; b < 256; ++b) alle += static_cast<char>(b);
  const std::string utf8 = cp1252ToUtf8(alle);
  EXPECT_TRUE(isValidUtf8(utf8));
  EXPECT_EQ(utf8ToCp1252(utf8), alle);
  EXPECT_EQ(cp1252ToUtf8("M\xFCller \xC4\xD6\xDC\xDF"), "Müller ÄÖÜß");
}

TEST(Cp1252, CharactersWindows1252LacksAndInvalidUtf8) {
  const struct {
    std::string_view utf8;
    std::string_view erwartet;
  } faelle[] = {
      {"Łódź",
       "L\xF3"
       "dz"},
      {"Čapek", "Capek"},
      {"Erdős", "Erdos"},
      {"ā ę ł č ő ű ř ş", "a e l c o u r s"},
      {"Ĳ", "?"},
      {"→", "?"},
      {"中", "?"},
      {"😀", "?"},
      {"\u0080", "?"},  // a C1 control Windows-1252 has no byte for
      {"a\xFF"
       "b",
       "a?b"},
      {"\xC3", "?"},  // cut off
      {"\xE2\x82"
       "x",
       "?x"},                   // cut off inside a three-byte character
      {"\xC0\xAF", "??"},       // overlong
      {"\xED\xA0\x80", "???"},  // surrogate
      {"\xF4\x90\x80\x80", "????"},
  };
  for (const auto& f : faelle) EXPECT_EQ(utf8ToCp1252(f.utf8), f.erwartet) << f.utf8;
}

TEST(Utf8, Validity) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("Grüße € 中 😀"));
  EXPECT_FALSE(
      isValidUtf8("Gr\xFC\xDF"
                  "e"));
  EXPECT_FALSE(isValidUtf8("\xC0\x80"));
  EXPECT_FALSE(isValidUtf8("\xED\xB0\x80"));
  EXPECT_FALSE(isValidUtf8("\xF0\x9F\x98"));
}

TEST(SplitLines, Table) {
  using Zeilen = std::vector<std::string>;
  const struct {
    std::string_view bytes;
    Zeilen erwartet;
  } faelle[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\n", {"a\rb"}},
      {"a\r", {"a\r"}},
      {"\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"a\r\r\n", {"a\r"}},
  };
  for (const auto& f : faelle) EXPECT_EQ(splitLines(f.bytes), f.erwartet) << f.bytes;
}

TEST(TextFiles, ReadLinesFromWindows1252File) {
  TempDir dir;
  const struct {
    std::string_view bytes;
    std::vector<std::string> erwartet;
  } faelle[] = {
      {"", {}},
      {"Kopf;Zeile\r\nM\xFCller;1,5\r\n", {"Kopf;Zeile", "Müller;1,5"}},
      {"ohne Ende\r\nletzte", {"ohne Ende", "letzte"}},
      {"nur LF\n\x80\n", {"nur LF", "€"}},
  };
  int n = 0;
  for (const auto& f : faelle) {
    const auto datei = dir / ("f" + std::to_string(n++) + ".csv");
    writeBytes(datei, f.bytes);
    EXPECT_EQ(readCp1252Lines(datei), f.erwartet) << f.bytes;
  }
}

TEST(TextFiles, WriteLinesAsWindows1252WithCrLf) {
  TempDir dir;
  const auto datei = dir / "aus.csv";
  writeCp1252Lines(datei, {"Müller;€", "", "Łódź→"});
  EXPECT_EQ(readBytes(datei),
            "M\xFCller;\x80\r\n\r\nL\xF3"
            "dz?\r\n");
  writeCp1252Lines(datei, {});
  EXPECT_EQ(readBytes(datei), "");
}

TEST(TextFiles, FailuresNameTheFile) {
  TempDir dir;
  const auto fehlt = dir / "fehlt.csv";
  try {
    readFileBytes(fehlt);
    FAIL();
  } catch (const Fehler& e) {
    EXPECT_NE(std::string(e.what()).find(fehlt.string()), std::string::npos);
  }
  EXPECT_THROW(readFileBytes(dir.path()), Fehler);
  const auto ohneOrdner = dir / "kein" / "ordner.csv";
  try {
    writeCp1252Lines(ohneOrdner, {"x"});
    FAIL();
  } catch (const Fehler& e) {
    EXPECT_EQ(std::string(e.what()),
              "Die Datei \"" + ohneOrdner.string() +
                  "\" kann nicht geschrieben werden (Datei oder Verzeichnis nicht gefunden).");
  }
  EXPECT_THROW(writeFileBytes(dir.path(), "x"), Fehler);
}

}  // namespace
}  // namespace belvanto

// Case-insensitive lookup on real folders: wildcard matching, the order that
// decides the first match, and resolving relative names in any letter case.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Dateisuche.h"

namespace fs = std::filesystem;

namespace belvanto {
namespace {

using test::TempDir;
using test::writeBytes;

std::vector<std::string> namen(const std::vector<fs::path>& pfade) {
  std::vector<std::string> n;
  for (const auto& p : pfade) n.push_back(p.filename().string());
  return n;
}

TEST(WildcardMatch, Table) {
  const struct {
    std::string_view muster, name;
    bool passt;
  } faelle[] = {
      {"*.*", "ohnepunkt", true},
      {"*.*", "a.b", true},
      {"*", "", true},
      {"*.pdf", "X.PDF", true},
      {"*.pdf", "x.pdf.bak", false},
      {"Buchungen*.csv", "buchungen_20240105.CSV", true},
      {"Buchungen*.csv", "Buchungen.csv", true},
      {"Buchungen*.csv", "Index_1.csv", false},
      {"Index*.csv", "INDEX.csv", true},
      {"RemADV*.csv", "remadv_1.csv", true},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "aäc", true},
      {"Ä*", "äpfel", true},
      {"*a*b*c*", "xxaxxbxxcxx", true},
      {"*a*b*c*", "xxaxxcxxbxx", false},
      {"ZRAbr", "zrabr", true},
      {"", "", true},
      {"", "x", false},
  };
  for (const auto& f : faelle) {
    EXPECT_EQ(wildcardMatch(f.muster, f.name), f.passt) << f.muster << " / " << f.name;
  }
}

TEST(FindFiles, FirstMatchIgnoresCaseAndFoldersAreExcluded) {
  TempDir dir;
  for (const char* n : {"buchungen_b.csv", "Buchungen_A.csv", "BUCHUNGEN_a.csv", "X.PDF",
                        ".versteckt.pdf", "index.csv"}) {
    writeBytes(dir / n, "x");
  }
  fs::create_directory(dir / "Buchungen_0.csv");
  fs::create_symlink(dir / "X.PDF", dir / "link.pdf");
  fs::create_directory_symlink(dir / "Buchungen_0.csv", dir / "ordnerlink.pdf");

  EXPECT_EQ(namen(findFiles(dir.path(), "Buchungen*.csv")),
            (std::vector<std::string>{"BUCHUNGEN_a.csv", "Buchungen_A.csv", "buchungen_b.csv"}));
  EXPECT_EQ(findFirstFile(dir.path(), "buchungen*.CSV"), dir / "BUCHUNGEN_a.csv");
  EXPECT_EQ(namen(findFiles(dir.path(), "*.pdf")),
            (std::vector<std::string>{".versteckt.pdf", "link.pdf", "X.PDF"}));
  EXPECT_EQ(findFiles(dir.path(), "*.*").size(), 7u);
  EXPECT_TRUE(anyFileMatches(dir.path(), "INDEX*.CSV"));
  EXPECT_FALSE(anyFileMatches(dir.path(), "RemADV*.csv"));
  EXPECT_FALSE(findFirstFile(dir.path(), "*.zip").has_value());
}

TEST(FindFiles, MissingFolderGivesNone) {
  TempDir dir;
  EXPECT_TRUE(findFiles(dir / "fehlt", "*.*").empty());
  writeBytes(dir / "datei", "x");
  EXPECT_TRUE(findFiles(dir / "datei", "*.*").empty());
  EXPECT_FALSE(anyFileMatches(dir / "fehlt", "*.*"));
}

TEST(ResolveNoCase, Table) {
  TempDir dir;
  fs::create_directories(dir / "ZRABR");
  fs::create_directories(dir / "ZRBELEG" / "Unter");
  fs::create_directories(dir / "zrbeleg");
  writeBytes(dir / "ZRBELEG" / "Unter" / "Index_1.CSV", "x");
  fs::create_directories(dir / "remadv");
  fs::create_directories(dir / "RemAdv");

  const struct {
    std::string_view relativ;
    fs::path erwartet;
  } faelle[] = {
      {"ZRAbr", "ZRABR"},
      {"zrabr", "ZRABR"},
      {"ZRBeleg/unter/index_1.csv", "ZRBELEG/Unter/Index_1.CSV"},
      {"zrbeleg", "zrbeleg"},  // the exact name wins
      {"ZRBeleg", "ZRBELEG"},  // else the first in case-insensitive order
      {"REMADV", "RemAdv"},
      {"Belege/neu.zip", "Belege/neu.zip"},
      {"ZRAbr/fehlt/x", "ZRABR/fehlt/x"},
      {"zrbeleg\\Unter", "zrbeleg/Unter"},
  };
  for (const auto& f : faelle) {
    EXPECT_EQ(resolveNoCase(dir.path(), f.relativ), dir / f.erwartet) << f.relativ;
  }
  EXPECT_EQ(resolveNoCase(dir / "fehlt", "ZRAbr"), dir / "fehlt" / "ZRAbr");
  EXPECT_EQ(resolveNoCase("/nirgends", dir / "zrabr"), dir / "ZRABR");
}

}  // namespace
}  // namespace belvanto

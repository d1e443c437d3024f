// The DATEV writer on output grids filled directly: file layout line by line,
// grouping, sums, the zero amount repair, the invoice number dialog, escaping
// and the refusal of unsafe or unwritable file names. Every XML file a test
// leaves behind must parse with xmllint.
#include <gtest/gtest.h>

#include <regex>

#include "export/DatevExport.h"
#include "export/ExportTestHilfe.h"
#include "export/ExportText.h"
#include "util/Dezimal.h"
#include "util/Datum.h"
#include "util/Fehler.h"
#include "util/Zahlen.h"

namespace belvanto::test {
namespace {

namespace fs = std::filesystem;

const std::string kLedgerKopf =
    "<LedgerImport xmlns=\"http://xml.datev.de/bedi/tps/ledger/v040\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://xml.datev.de/bedi/tps/ledger/v040 "
    "Belegverwaltung_online_ledger_import_v040.xsd\" version=\"4.0\" generator_info=\"Velmora\" "
    "generating_system=\"Belvanto\" xml_data=\"Kopie nur zur Verbuchung berechtigt nicht zum "
    "Vorsteuerabzug\">";
const std::string kArchivKopf =
    "<archive version=\"4.0\" generatingSystem=\"Belvanto\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://xml.datev.de/bedi/tps/document/v04.0 document_v040.xsd\" "
    "xmlns=\"http://xml.datev.de/bedi/tps/document/v04.0\">";

struct Zeile {
  std::string betrag = "10.00";
  std::string rechnungsNr = "RE-1";
  std::string datum = "2025-01-18";
  std::string name = "Lieferant";
  std::string konto = "10001";
  std::string steuerKonto = "19,00";
  std::string steuer = "19.00";
  std::string skonto, skontoDatum, skontoProzent;
  std::string bild = "815-1";
};

std::vector<std::string> dokumentBlock(const std::string& bild, const std::string& monat) {
  return {"    <document>",
          "      <extension xsi:type=\"accountsPayableLedger\" datafile=\"" + bild + ".xml\">",
          "        <property value=\"" + monat + "\" key=\"1\" />",
          "        <property value=\"mvo-Eingangsrechnung\" key=\"3\" />",
          "      </extension>",
          "      <extension xsi:type=\"File\" name=\"" + bild + ".pdf\"/>",
          "    </document>",
          ""};
}

class DatevExportTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (!fs::exists(u.belege)) return;
    for (const auto& e : fs::directory_iterator(u.belege)) {
      if (e.is_regular_file()) {
        EXPECT_EQ(xmllintFehler(e.path()), "") << e.path();
      }
    }
  }

  void fuellen(const std::vector<Zeile>& zeilen) {
    grid = TextGrid(31, 1);
    for (const auto& z : zeilen) {
      std::vector<std::string> c(31);
      c[0] = "EUR";
      c[1] = z.betrag;
      c[2] = z.rechnungsNr;
      c[3] = z.datum;
      c[4] = "ABRUF-9";
      c[5] = z.name;
      c[7] = z.konto;
      c[9] = z.steuerKonto;
      c[11] = "Ware";
      c[14] = z.steuer;
      c[17] = "100";
      c[21] = z.skonto;
      c[23] = z.skontoDatum;
      c[29] = z.skontoProzent;
      c[30] = z.bild;
      grid.appendRow(c);
    }
  }

  void schreiben(const std::vector<Zeile>& zeilen) {
    fuellen(zeilen);
    DatevExportSchreiben(grid, u.konfiguration, u.protokoll, u.bediener);
  }

  std::vector<std::string> datei(const std::string& name) {
    return crlfZeilen(readBytes(u.belege / name));
  }

  // document.xml with the date line checked and taken out.
  std::vector<std::string> dokument() {
    auto zeilen = datei("document.xml");
    EXPECT_GE(zeilen.size(), 9u);
    if (zeilen.size() < 4) return zeilen;
    EXPECT_TRUE(std::regex_match(zeilen[3],
                                 std::regex(R"(    <date>\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d</date>)")))
        << zeilen[3];
    zeilen[3] = "DATUM";
    return zeilen;
  }

  std::vector<std::string> dokumentErwartet(const std::vector<std::vector<std::string>>& bloecke,
                                            const std::string& abruf = "ABRUF-9") {
    std::vector<std::string> z{
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>",   kArchivKopf,   "  <header>", "DATUM",
        "    <description>" + abruf + "</description>", "  </header>", "  <content>"};
    for (const auto& b : bloecke) z.insert(z.end(), b.begin(), b.end());
    z.push_back("  </content>");
    z.push_back("</archive>");
    return z;
  }

  std::vector<std::string> belegDateien() {
    std::vector<std::string> namen;
    for (const auto& e : fs::directory_iterator(u.belege)) namen.push_back(e.path().filename());
    std::sort(namen.begin(), namen.end());
    return namen;
  }

  ExportUmgebung u;
  TextGrid grid{31, 1};
};

TEST_F(DatevExportTest, DreiZeilenEinerRechnung) {
  Zeile a;
  a.betrag = "100.10";
  Zeile b = a;
  b.betrag = "50.20";
  b.datum = "2025-02-01";
  Zeile c = a;
  c.betrag = "19.70";
  c.steuerKonto = "7,00";
  c.steuer = "7.00";
  schreiben({a, b, c});

  EXPECT_EQ(dokument(), dokumentErwartet({dokumentBlock("815-1", "2025-01")}));
  EXPECT_EQ(belegDateien(), (std::vector<std::string>{"815-1.xml", "document.xml"}));

  std::vector<std::string> erwartet{
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>", kLedgerKopf,
      "  <consolidate consolidatedAmount=\"170.00\" consolidatedDate=\"2025-01-18\" "
      "consolidatedInvoiceId=\"RE-1\" consolidatedCurrencyCode=\"EUR\">"};
  for (const auto& [betrag, datum, konto, steuer] :
       std::vector<std::array<std::string, 4>>{{"100.10", "2025-01-18", "19,00", "19.00"},
                                               {"50.20", "2025-02-01", "19,00", "19.00"},
                                               {"19.70", "2025-01-18", "7,00", "7.00"}}) {
    const std::vector<std::string> eintrag{"    <accountsPayableLedger> ",
                                           "      <date>" + datum + "</date>",
                                           "      <amount>" + betrag + "</amount>",
                                           "      <accountNo>" + konto + "</accountNo>",
                                           "      <costCategoryId>100</costCategoryId>",
                                           "      <tax>" + steuer + "</tax>",
                                           "      <currencyCode>EUR</currencyCode>",
                                           "      <invoiceId>RE-1</invoiceId>",
                                           "      <bookingText>Ware</bookingText>",
                                           "      <bpAccountNo>10001</bpAccountNo>",
                                           "      <supplierName>Lieferant</supplierName>",
                                           "    </accountsPayableLedger>"};
    erwartet.insert(erwartet.end(), eintrag.begin(), eintrag.end());
  }
  erwartet.push_back("  </consolidate>");
  erwartet.push_back("</LedgerImport> ");
  EXPECT_EQ(datei("815-1.xml"), erwartet);
}

TEST_F(DatevExportTest, SkontozeileHatFuenfzehnZeilen) {
  Zeile z;
  z.betrag = "119.00";
  z.skonto = "3.57";
  z.skontoDatum = "2025-03-15";
  z.skontoProzent = "3.00";
  schreiben({z});
  const auto zeilen = datei("815-1.xml");
  ASSERT_EQ(zeilen.size(), 3u + 15u + 2u);
  const std::vector<std::string> eintrag(zeilen.begin() + 3, zeilen.begin() + 18);
  EXPECT_EQ(eintrag,
            (std::vector<std::string>{
                "    <accountsPayableLedger> ", "      <date>2025-01-18</date>",
                "      <amount>119.00</amount>", "      <discountAmount>3.57</discountAmount>",
                "      <accountNo>19,00</accountNo>", "      <costCategoryId>100</costCategoryId>",
                "      <tax>19.00</tax>", "      <currencyCode>EUR</currencyCode>",
                "      <invoiceId>RE-1</invoiceId>", "      <bookingText>Ware</bookingText>",
                "      <discountPercentage>3.00</discountPercentage>",
                "      <discountPaymentDate>2025-03-15</discountPaymentDate>",
                "      <bpAccountNo>10001</bpAccountNo>",
                "      <supplierName>Lieferant</supplierName>", "    </accountsPayableLedger>"}));
  EXPECT_EQ(zeilen[2],
            "  <consolidate consolidatedAmount=\"119.00\" consolidatedDate=\"2025-01-18\" "
            "consolidatedInvoiceId=\"RE-1\" consolidatedCurrencyCode=\"EUR\">");
}

TEST_F(DatevExportTest, SkontoOhneProzentBleibtWohlgeformt) {
  Zeile z;
  z.betrag = "0.00";
  z.skonto = "1.00";
  z.skontoDatum = "2025-03-15";
  schreiben({z});
  const auto zeilen = datei("815-1.xml");
  ASSERT_EQ(zeilen.size(), 20u);
  EXPECT_EQ(zeilen[13], "      <discountPercentage></discountPercentage>");
}

TEST_F(DatevExportTest, RechnungenImWechsel) {
  Zeile a;
  Zeile b;
  b.rechnungsNr = "RE-2";
  b.bild = "815-2";
  b.datum = "2024-12-30";
  b.betrag = "-12.5";
  Zeile c;
  c.betrag = "30.00";
  schreiben({a, b, c});

  EXPECT_EQ(dokument(),
            dokumentErwartet({dokumentBlock("815-1", "2025-01"), dokumentBlock("815-2", "2024-12"),
                              dokumentBlock("815-1", "2025-01")}));
  EXPECT_EQ(belegDateien(), (std::vector<std::string>{"815-1.xml", "815-2.xml", "document.xml"}));
  // The third row's group came later and replaced the first one's file.
  const auto erste = datei("815-1.xml");
  ASSERT_EQ(erste.size(), 17u);
  EXPECT_NE(erste[2].find("consolidatedAmount=\"30.00\""), std::string::npos);
  EXPECT_EQ(erste[5], "      <amount>30.00</amount>");
  const auto zweite = datei("815-2.xml");
  ASSERT_EQ(zweite.size(), 17u);
  EXPECT_EQ(zweite[2],
            "  <consolidate consolidatedAmount=\"-12.50\" consolidatedDate=\"2024-12-30\" "
            "consolidatedInvoiceId=\"RE-2\" consolidatedCurrencyCode=\"EUR\">");

  EXPECT_EQ(u.bediener.fortschritte,
            (std::vector<std::string>{"Schreiben: 0", "Schreiben: 1", "Schreiben: 2",
                                      "Schreiben: 0", "Schreiben: 1", "Schreiben: 2"}));
  EXPECT_EQ(u.bediener.nachrichtenRunden, 6);
}

TEST_F(DatevExportTest, GruppenNachRechnungUndDokumenteNachBild) {
  // Same PDF, different invoice numbers: one document block, two ledger
  // groups writing the same file in turn.
  Zeile a;
  Zeile b;
  b.rechnungsNr = "RE-1b";
  b.betrag = "5.00";
  schreiben({a, b});
  EXPECT_EQ(dokument(), dokumentErwartet({dokumentBlock("815-1", "2025-01")}));
  const auto zeilen = datei("815-1.xml");
  ASSERT_EQ(zeilen.size(), 17u);
  EXPECT_NE(zeilen[2].find("consolidatedInvoiceId=\"RE-1b\""), std::string::npos);
}

TEST(BetragFormatieren, ZweiNachkommastellenMindestens) {
  const std::vector<std::pair<double, std::string>> faelle{
      {50, "50.00"},       {-12.5, "-12.50"},       {119, "119.00"}, {119.5, "119.50"},
      {0.1 + 0.2, "0.30"}, {12.345, "12.345"},      {0, "0.00"},     {170, "170.00"},
      {1e-17, "1E-17.00"}, {2.5e-5, "2.5E-5"},      {0.01, "0.01"},  {-0.5, "-0.50"},
      {1e15, "1E15.00"},   {123456.78, "123456.78"}};
  for (const auto& [wert, text] : faelle) EXPECT_EQ(BetragFormatieren(wert), text) << wert;
  EXPECT_EQ(BetragFormatieren(std::numeric_limits<double>::infinity()), "");
  EXPECT_EQ(BetragFormatieren(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST_F(DatevExportTest, SummeExaktOhneRundungsrest) {
  // Amounts that cancel out sum to zero, not to a floating point residue.
  Zeile a;
  a.betrag = "100.10";
  Zeile b;
  b.betrag = "-100.10";
  schreiben({a, b});
  EXPECT_NE(datei("815-1.xml")[2].find("consolidatedAmount=\"0.00\""), std::string::npos);
}

// The former sum: each amount in extended precision, rounded to a double
// after every addition.
std::string alteSumme(const std::vector<std::string>& betraege) {
  double summe = 0;
  for (const auto& b : betraege) {
    summe = static_cast<double>(static_cast<long double>(summe) + *parseDecimalExtended(b, '.'));
  }
  return BetragFormatieren(summe);
}

std::vector<std::string> mal(int n, const std::string& betrag, std::string dazu) {
  std::vector<std::string> v(static_cast<std::size_t>(n), betrag);
  v.push_back(std::move(dazu));
  return v;
}

TEST(Betragssumme, ExaktUndOhneRestWieBisher) {
  struct Fall {
    std::vector<std::string> betraege;
    std::string text;
    bool rest;  // the former sum showed a rounding residue
  };
  const std::vector<Fall> faelle{
      {{"1.10", "2.20"}, "3.30", false},
      {{"100.10", "50.20", "19.70"}, "170.00", false},
      {{"1190.00", "107.00"}, "1297.00", false},
      {{"-59.50"}, "-59.50", false},
      {{"10", "20"}, "30.00", false},
      {{"+5.5", "-.5"}, "5.00", false},
      {{"0.01"}, "0.01", false},
      {{"12.345", "0.005"}, "12.35", false},
      {{"1.005", "2.0051"}, "3.0101", false},
      {{"-0.001", "0.0005"}, "-0.0005", false},
      {{"0.00001"}, "1E-5.00", false},
      {{"999999999999.99", "0.01"}, "1000000000000.00", false},
      {{"0.333333333333333333", "0.666666666666666667"}, "1.00", false},
      {{"-0.00"}, "0.00", false},
      {mal(10, "0.1", "0"), "1.00", false},
      {{"0.1", "0.2", "-0.3"}, "0.00", true},
      {{"100.10", "-100.10"}, "0.00", true},
      {{"33.33", "33.33", "33.34", "-100.00"}, "0.00", false},
      {{"-1.234", "-2.345", "3.579"}, "0.00", true},
      {mal(1000, "0.01", "-10.00"), "0.00", true},
      {mal(3, "19.99", "-59.97"), "0.00", true},
  };
  for (const auto& f : faelle) {
    Betragssumme summe;
    for (const auto& b : f.betraege) EXPECT_TRUE(summe.addieren(b)) << b;
    EXPECT_EQ(BetragFormatieren(summe.wert()), f.text) << f.betraege.front();
    EXPECT_EQ(alteSumme(f.betraege) != f.text, f.rest)
        << f.betraege.front() << ": " << alteSumme(f.betraege);
  }
}

TEST_F(DatevExportTest, NullbetragWirdRepariertUndProtokolliert) {
  Zeile a;
  a.betrag = "0.00";
  a.steuerKonto = "7,00";
  a.rechnungsNr = "RE-9";
  a.name = "Müller + Söhne";
  Zeile b = a;
  b.betrag = "10.00";
  // Zero in any other spelling is not caught.
  Zeile c;
  c.rechnungsNr = "RE-3";
  c.bild = "815-3";
  c.betrag = "0";
  Zeile d = c;
  d.betrag = "-0.00";
  schreiben({a, b, c, d});

  EXPECT_EQ(protokollZeilen(u.protokoll),
            (std::vector<std::string>{"Falscher Betrag|RE-9|2025-01-18|Müller + Söhne|0.00|"}));
  EXPECT_EQ(grid.cell(1, 0), "0.01");
  EXPECT_EQ(grid.cell(9, 0), "19,00");
  EXPECT_EQ(grid.cell(9, 1), "7,00");
  const auto zeilen = datei("815-1.xml");
  EXPECT_NE(zeilen[2].find("consolidatedAmount=\"10.01\""), std::string::npos);
  EXPECT_EQ(zeilen[5], "      <amount>0.01</amount>");
  EXPECT_EQ(zeilen[6], "      <accountNo>19,00</accountNo>");
  EXPECT_EQ(zeilen[18], "      <accountNo>7,00</accountNo>");
  const auto dritte = datei("815-3.xml");
  EXPECT_NE(dritte[2].find("consolidatedAmount=\"0.00\""), std::string::npos);
}

TEST_F(DatevExportTest, KeineZahlKeinUnendlich) {
  Zeile a;
  a.betrag = "abc";
  Zeile b;
  b.betrag = "10.00";
  Zeile c;
  c.rechnungsNr = "RE-2";
  c.bild = "815-2";
  c.betrag = "1E308";
  // Two amounts of 1E308 in plain digits: a sum beyond the double range.
  Zeile d = c;
  d.rechnungsNr = "RE-3";
  d.bild = "815-3";
  d.betrag = "1" + std::string(308, '0');
  Zeile e = d;
  schreiben({a, b, c, d, e});
  EXPECT_NE(datei("815-1.xml")[2].find("consolidatedAmount=\"10.00\""), std::string::npos);
  // An exponent is no decimal text of the DATEV files and adds nothing.
  EXPECT_NE(datei("815-2.xml")[2].find("consolidatedAmount=\"0.00\""), std::string::npos);
  EXPECT_NE(datei("815-3.xml")[2].find("consolidatedAmount=\"\""), std::string::npos);
  for (const auto& name : belegDateien()) {
    const std::string bytes = readBytes(u.belege / name);
    EXPECT_FALSE(std::regex_search(bytes, std::regex(R"([">]-?(inf|nan))", std::regex::icase)))
        << name;
  }
}

struct KuerzenFall {
  bool kuerzen;
  int stellen;
  std::string nummer;
  std::vector<std::string> antworten;
  std::vector<std::string> fragen;
  std::string ergebnis;
};

TEST_F(DatevExportTest, RechnungsnummerKuerzen) {
  const std::vector<KuerzenFall> faelle{
      {true, 8, "123456789", {"23456789"}, {"123456789/8"}, "23456789"},
      {true,
       8,
       "123456789",
       {"1234567890", "23456789"},
       {"123456789/8", "1234567890/8"},
       "23456789"},
      {true, 8, "12345678", {}, {}, "12345678"},
      // Characters are counted, not bytes.
      {true, 8, "Ü1234567", {}, {}, "Ü1234567"},
      {false, 8, "123456789", {}, {}, "123456789"},
      {true, 0, "12", {""}, {"12/0"}, ""},
      // A negative limit could never be met; it counts as 0.
      {true, -1, "12", {"1", ""}, {"12/0", "1/0"}, ""},
  };
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.nummer + " / " + std::to_string(f.stellen));
    ExportUmgebung v;
    v.konfiguration.RNummerKuerzen = f.kuerzen;
    v.konfiguration.AnzahlRNStellen = f.stellen;
    v.bediener.rechnungsNummerAntworten.assign(f.antworten.begin(), f.antworten.end());
    Zeile z;
    z.rechnungsNr = f.nummer;
    fuellen({z});
    DatevExportSchreiben(grid, v.konfiguration, v.protokoll, v.bediener);
    std::vector<std::string> fragen;
    for (const auto& a : f.fragen) fragen.push_back("rechnungsnummer: " + a);
    EXPECT_EQ(v.bediener.ereignisse, fragen);
    EXPECT_EQ(grid.cell(2, 0), f.ergebnis);
    const auto zeilen = crlfZeilen(readBytes(v.belege / "815-1.xml"));
    ASSERT_GE(zeilen.size(), 11u);
    EXPECT_NE(zeilen[2].find("consolidatedInvoiceId=\"" + f.ergebnis + "\""), std::string::npos);
    EXPECT_EQ(zeilen[10], "      <invoiceId>" + f.ergebnis + "</invoiceId>");
    EXPECT_EQ(xmllintFehler(v.belege / "815-1.xml"), "");
  }
}

TEST_F(DatevExportTest, AllesUtf8UndEscaped) {
  Zeile z;
  z.name = "Müller + Söhne <Süd>";
  z.rechnungsNr = "A&B<1>\"x";
  z.bild = "815-&'";
  z.datum = "2025-0\"-01";
  z.steuerKonto = "a\x01z";
  schreiben({z});
  const std::string bytes = readBytes(u.belege / "815-&'.xml");
  EXPECT_NE(bytes.find("<supplierName>M\xC3\xBCller + S\xC3\xB6hne &lt;S\xC3\xBC"
                       "d&gt;</supplierName>\r\n"),
            std::string::npos);
  EXPECT_NE(bytes.find("consolidatedInvoiceId=\"A&amp;B&lt;1&gt;&quot;x\""), std::string::npos);
  EXPECT_NE(bytes.find("<invoiceId>A&amp;B&lt;1&gt;\"x</invoiceId>"), std::string::npos);
  EXPECT_NE(bytes.find("<accountNo>a?z</accountNo>"), std::string::npos);
  const auto dok = dokument();
  EXPECT_EQ(dok[8],
            "      <extension xsi:type=\"accountsPayableLedger\" datafile=\"815-&amp;'.xml\">");
  EXPECT_EQ(dok[9], "        <property value=\"2025-0&quot;\" key=\"1\" />");
  EXPECT_EQ(dok[12], "      <extension xsi:type=\"File\" name=\"815-&amp;'.pdf\"/>");
}

TEST_F(DatevExportTest, OhneBildnamen) {
  Zeile a;
  a.bild = "";
  Zeile b = a;
  b.rechnungsNr = "RE-2";
  b.betrag = "20.00";
  schreiben({a, b});
  EXPECT_EQ(dokument(), dokumentErwartet({}));
  EXPECT_EQ(belegDateien(), (std::vector<std::string>{".xml", "document.xml"}));
  EXPECT_NE(datei(".xml")[2].find("consolidatedInvoiceId=\"RE-2\""), std::string::npos);
}

TEST_F(DatevExportTest, OhneBuchungenNurDasDokument) {
  schreiben({});
  EXPECT_EQ(dokument(), dokumentErwartet({}, ""));
  EXPECT_EQ(belegDateien(), (std::vector<std::string>{"document.xml"}));
}

TEST_F(DatevExportTest, DatumDesDokumentsIstJetzt) {
  const std::string vorher = formatIsoZeitpunkt(jetzt());
  schreiben({Zeile{}});
  const std::string nachher = formatIsoZeitpunkt(jetzt());
  const std::string zeile = datei("document.xml")[3];
  const std::string wert = zeile.substr(10, 19);
  EXPECT_LE(vorher, wert);
  EXPECT_LE(wert, nachher);
}

TEST_F(DatevExportTest, BildnamenAusserhalbDesOrdnersWerdenAbgelehnt) {
  for (const std::string name : {"../boese", "a/b", "x\\..\\y", "/tmp/abs", "Document"}) {
    SCOPED_TRACE(name);
    Zeile a;
    Zeile b;
    b.rechnungsNr = "RE-2";
    b.bild = name;
    b.betrag = "0.00";
    fuellen({a, b});
    try {
      DatevExportSchreiben(grid, u.konfiguration, u.protokoll, u.bediener);
      ADD_FAILURE() << "no error";
    } catch (const Fehler& f) {
      EXPECT_NE(std::string(f.what()).find("\"" + name + "\""), std::string::npos) << f.what();
    }
    EXPECT_TRUE(belegDateien().empty());
    EXPECT_FALSE(fs::exists(u.arbeit / "boese.xml"));
    EXPECT_EQ(u.protokoll.anzahlEintraege(), 0);
  }
}

TEST_F(DatevExportTest, NichtSchreibbareDateiNenntIhrenNamen) {
  fs::create_directory(u.belege / "815-2.xml");
  Zeile a;
  Zeile b;
  b.rechnungsNr = "RE-2";
  b.bild = "815-2";
  fuellen({a, b});
  try {
    DatevExportSchreiben(grid, u.konfiguration, u.protokoll, u.bediener);
    ADD_FAILURE() << "no error";
  } catch (const Fehler& f) {
    EXPECT_NE(std::string(f.what()).find("815-2.xml"), std::string::npos) << f.what();
  }
  // What was written before stays.
  EXPECT_TRUE(fs::exists(u.belege / "document.xml"));
  EXPECT_TRUE(fs::exists(u.belege / "815-1.xml"));
  fs::remove(u.belege / "815-2.xml");
}

TEST_F(DatevExportTest, FehlenderBelegeOrdner) {
  fs::remove_all(u.belege);
  fuellen({Zeile{}});
  try {
    DatevExportSchreiben(grid, u.konfiguration, u.protokoll, u.bediener);
    ADD_FAILURE() << "no error";
  } catch (const Fehler& f) {
    EXPECT_NE(std::string(f.what()).find("document.xml"), std::string::npos) << f.what();
  }
}

TEST_F(DatevExportTest, NamenOhneRuecksichtAufGrossUndKleinschreibung) {
  fs::remove_all(u.belege);
  const fs::path ordner = u.arbeit / "BELEGE";
  fs::create_directories(ordner);
  writeBytes(ordner / "Document.XML", "alt");
  writeBytes(ordner / "815-A.XML", "alt");
  Zeile a;
  a.bild = "815-a";
  schreiben({a});
  std::vector<std::string> namen;
  for (const auto& e : fs::directory_iterator(ordner)) namen.push_back(e.path().filename());
  std::sort(namen.begin(), namen.end());
  EXPECT_EQ(namen, (std::vector<std::string>{"815-A.XML", "Document.XML"}));
  EXPECT_NE(readBytes(ordner / "815-A.XML").find("<LedgerImport"), std::string::npos);
  EXPECT_NE(readBytes(ordner / "Document.XML").find("<archive"), std::string::npos);
  for (const auto& n : namen) EXPECT_EQ(xmllintFehler(ordner / n), "") << n;
}

}  // namespace
}  // namespace belvanto::test

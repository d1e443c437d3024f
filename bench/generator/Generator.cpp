// Settlement generator: amounts, tax rates, discounts and credit notes in
// roughly the shares of a real settlement, a few zero amounts, supplier names
// with umlauts and "&".
#include "Generator.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

#include "util/Encoding.h"

namespace belvanto::bench {

namespace fs = std::filesystem;

namespace {

const std::array<const char*, 10> kNamen{
    "Müller & Söhne", "Bäckerei Schäfer", "Obst & Gemüse", "Getränke Köhler", "Fleischerei Groß",
    "Käserei Weiß",   "Blumen Jürgens",   "Papier & Co",   "Molkerei Böhm",   "Feinkost Ähren"};
const std::array<const char*, 4> kMaxima{"500", "1000", "2500", "100000"};

void dateiSchreiben(const fs::path& datei, const std::string& bytes) {
  std::ofstream aus(datei, std::ios::binary | std::ios::trunc);
  aus.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!aus) throw std::runtime_error("cannot write " + datei.string());
}

// Cents as the cooperative writes them: decimal comma, no thousands separator.
std::string betrag(long long cent) {
  char text[40];
  std::snprintf(text, sizeof text, "%s%lld,%02lld", cent < 0 ? "-" : "", std::llabs(cent) / 100,
                std::llabs(cent) % 100);
  return text;
}

std::string mitTausendern(long long cent) {
  std::string ganz = std::to_string(std::llabs(cent) / 100);
  for (int i = static_cast<int>(ganz.size()) - 3; i > 0; i -= 3) ganz.insert(i, ".");
  char rest[8];
  std::snprintf(rest, sizeof rest, ",%02lld", std::llabs(cent) % 100);
  return (cent < 0 ? "-" : "") + ganz + rest;
}

std::string pdf(std::size_t groesse, const std::string& titel) {
  std::string inhalt = "%PDF-1.4\n% " + titel + "\n";
  const std::string ende = "%%EOF\n";
  if (inhalt.size() + ende.size() < groesse)
    inhalt.append(groesse - inhalt.size() - ende.size(), 'x');
  return inhalt + ende;
}

struct Datumsteile {
  std::string jahr, jahr2, monat;
};

class Erzeuger {
 public:
  Erzeuger(const fs::path& ziel, const GeneratorOptionen& o) : ziel_(ziel), o_(o), zufall_(o.seed) {
    if (o.datum.size() != 8) throw std::runtime_error("datum must be yyyymmdd");
    d_ = {o.datum.substr(0, 4), o.datum.substr(2, 2), o.datum.substr(4, 2)};
  }

  GeneratorErgebnis los() {
    fs::create_directories(ziel_ / "ZRBELEG");
    fs::create_directories(ziel_ / "ZRABR");
    GeneratorErgebnis e;
    e.lieferantenDatei = lieferantenSchreiben();
    buchungenUndIndex(e);
    dateiSchreiben(ziel_ / "ZRABR" / ("Abrechnung_" + o_.datum + ".pdf"),
                   pdf(o_.abrechnungsPdfGroesse, "Abrechnung " + o_.datum));
    if (o_.remadvZeilen > 0) remadvSchreiben();
    return e;
  }

 private:
  int zahl(int von, int bis) { return std::uniform_int_distribution<int>(von, bis)(zufall_); }
  bool chance(double p) { return std::bernoulli_distribution(p)(zufall_); }

  static std::string cp1252(const std::string& utf8) { return utf8ToCp1252(utf8); }

  std::string lieferantenNummer(int k) const { return std::to_string(70001 + k); }

  fs::path lieferantenSchreiben() {
    const fs::path ordner = o_.lieferantenOrdner.empty() ? ziel_ : o_.lieferantenOrdner;
    fs::create_directories(ordner);
    std::string text;
    const int bekannt = std::max(0, o_.lieferanten - o_.unbekannteLieferanten);
    for (int k = 0; k < bekannt; ++k) {
      text += lieferantenNummer(k) + ";" + std::to_string(10001 + k) + ";" +
              kNamen[k % kNamen.size()] + " " + std::to_string(k + 1) + ";" +
              kMaxima[k % kMaxima.size()] + "\r\n";
    }
    const fs::path datei = ordner / "LieferantenUmsetzung.csv";
    dateiSchreiben(datei, cp1252(text));
    return datei;
  }

  std::string buchungsZeile(int lieferant, const std::string& rechnung, const std::string& datum) {
    const int satzWahl = zahl(0, 99);
    const int satz = satzWahl < 60 ? 19 : satzWahl < 95 ? 7 : 0;
    long long cent = zahl(100, 500000);
    const bool gutschrift = chance(0.08);
    if (gutschrift) cent = -cent;
    if (chance(0.002)) cent = 0;
    std::string skonto = "0,00";
    if (!gutschrift && cent != 0 && chance(0.3)) {
      const long long s = cent * zahl(2, 3) / 100;
      skonto = (chance(0.5) ? "-" : "") + betrag(s);
    }
    const long long netto = cent * 100 / (100 + satz);
    auto q = [](const std::string& f) { return "\"" + f + "\""; };
    return q(lieferantenNummer(lieferant)) + ";" + q(rechnung) + ";" + q(datum) + ";" + q("Ware") +
           ";" + q(std::to_string(satz) + ",00") + ";" + q(betrag(cent)) + ";" + q(betrag(netto)) +
           ";" + q(betrag(cent - netto)) + ";" + q("") + ";" + q(skonto) + "\r\n";
  }

  void buchungenUndIndex(GeneratorErgebnis& e) {
    std::string buchungen =
        "\"LiefNr\";\"RechnungsNr\";\"Datum\";\"Text\";\"MwSt\";\"Betrag\";\"Netto\";"
        "\"Steuer\";\"Info\";\"Skonto\"\r\n";
    std::string index =
        "Datei;F1;F2;F3;F4;Mitglied;RechnungsNr;F7;AbrNr;F9;AbrufNr;F11;F12;Valuta;F14;F15;"
        "F16;F17;F18\r\n";
    const std::string abruf = "A-" + d_.jahr + "-" + d_.monat;
    const std::string valuta = "28." + d_.monat + "." + d_.jahr;
    const std::string inhalt = pdf(o_.pdfGroesse, "Rechnung");
    int zeilen = 0;
    while (zeilen < o_.buchungen) {
      const int nr = ++e.rechnungen;
      char rechnung[32];
      std::snprintf(rechnung, sizeof rechnung, "RE-%s-%06d", d_.jahr.c_str(), nr);
      char datei[32];
      std::snprintf(datei, sizeof datei, "BELG%06d.pdf", nr);
      char datum[16];
      std::snprintf(datum, sizeof datum, "%02d.%s.%s", zahl(1, 28), d_.monat.c_str(),
                    d_.jahr2.c_str());
      const int lieferant = zahl(0, std::max(1, o_.lieferanten) - 1);
      const int anzahl =
          std::min(zahl(1, std::max(1, o_.maxZeilenJeRechnung)), o_.buchungen - zeilen);
      for (int i = 0; i < anzahl; ++i) buchungen += buchungsZeile(lieferant, rechnung, datum);
      zeilen += anzahl;
      index += std::string(datei) + ";;;;;" + o_.mitgliedsnummer + ";" + rechnung + ";;" +
               o_.abrechnungsnummer + ";;" + abruf + ";;;" + valuta + ";;;;;\r\n";
      if (o_.rechnungsPdfs)
        dateiSchreiben(ziel_ / "ZRBELEG" / datei,
                       o_.realistischePdfs
                           ? realistischesPdf(o_.pdfGroesse, o_.seed * 1000003u + nr)
                           : inhalt);
    }
    e.buchungen = zeilen;
    e.buchungsDatei = ziel_ / "ZRBELEG" / ("Buchungen_" + o_.datum + ".csv");
    e.indexDatei = ziel_ / "ZRBELEG" / ("Index_" + o_.datum + ".csv");
    dateiSchreiben(e.buchungsDatei, cp1252(buchungen));
    dateiSchreiben(e.indexDatei, cp1252(index));
  }

  void remadvSchreiben() {
    fs::create_directories(ziel_ / "REMADV");
    std::string text =
        "Nr;Datum;Beleg;Betrag;F4;F5;MwSt;F7;F8;F9;F10;F11;F12;F13;F14;LiefNr;F16;F17;Zahlung\r\n";
    for (int i = 1; i <= o_.remadvZeilen; ++i) {
      char datum[16];
      std::snprintf(datum, sizeof datum, "%02d.%s.%s", zahl(1, 28), d_.monat.c_str(),
                    d_.jahr.c_str());
      text += std::to_string(i) + ";" + datum + ";RE-" + std::to_string(i) + ";" +
              mitTausendern(zahl(100, 900000)) + ";;;" + (chance(0.6) ? "19" : "7") + ";;;;;;;;;" +
              lieferantenNummer(zahl(0, std::max(1, o_.lieferanten) - 1)) + ";;;Zahlung " +
              o_.datum + "\r\n";
    }
    dateiSchreiben(ziel_ / "REMADV" / ("RemADV_" + o_.datum + ".csv"), cp1252(text));
  }

  fs::path ziel_;
  GeneratorOptionen o_;
  std::mt19937 zufall_;
  Datumsteile d_;
};

}  // namespace

std::string realistischesPdf(std::size_t groesse, std::uint64_t saat) {
  std::mt19937_64 gen(saat);
  std::string s = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  s += "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
  s += "2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n";
  s += "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
       "/Resources << /Font << /F1 5 0 R >> /XObject << /Im1 6 0 R >> >> >>\nendobj\n";
  s += "4 0 obj\n<< /Length 0 >>\nstream\nBT /F1 10 Tf 50 800 Td\n";
  const std::size_t textTeil = groesse * 3 / 10;
  for (int zeile = 0; s.size() < textTeil; ++zeile) {
    s += "(Pos " + std::to_string(zeile) + "  Artikel " + std::to_string(gen() % 100000) +
         "  Menge " + std::to_string(gen() % 50 + 1) + "  Einzelpreis " +
         std::to_string(gen() % 1000) + "," + std::to_string(gen() % 90 + 10) +
         " EUR  MwSt 19%) Tj 0 -12 Td\n";
  }
  s += "ET\nendstream\nendobj\n";
  s += "5 0 obj\n<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>\nendobj\n";
  s += "6 0 obj\n<< /Type /XObject /Subtype /Image /Filter /FlateDecode >>\nstream\n";
  const std::size_t ende = groesse > 400 ? groesse - 400 : s.size();
  while (s.size() + 8 <= ende) {
    std::uint64_t z = gen();
    s.append(reinterpret_cast<const char*>(&z), 8);
  }
  s += "\nendstream\nendobj\nxref\n0 7\n0000000000 65535 f \n";
  for (int i = 1; i < 7; ++i) s += "00000" + std::to_string(10000 + i * 137) + " 00000 n \n";
  s += "trailer\n<< /Size 7 /Root 1 0 R >>\nstartxref\n" + std::to_string(s.size()) + "\n%%EOF\n";
  return s;
}

GeneratorErgebnis abrechnungErzeugen(const fs::path& ziel, const GeneratorOptionen& optionen) {
  return Erzeuger(ziel, optionen).los();
}

}  // namespace belvanto::bench

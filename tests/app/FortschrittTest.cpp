// The progress line during a run: the stages run on the window's thread with
// no event loop between, so only what QtBediener paints itself is ever seen.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QTest>

#include "app/QtBediener.h"
#include "export/URechnungsNummer.h"
#include "input/ULieferantenDialog.h"
#include "protocol/Druckerwahl.h"
#include "protocol/TProtokollForm.h"

namespace belvanto {
namespace {

// The field's text at every paint.
class Maler : public QObject {
 public:
  bool eventFilter(QObject* objekt, QEvent* ereignis) override {
    if (ereignis->type() == QEvent::Paint)
      gemalt.push_back(static_cast<QLineEdit*>(objekt)->text().toStdString());
    return false;
  }
  std::vector<std::string> gemalt;
};

// Work without any call to the Bediener.
void beschaeftigt(int ms) {
  QElapsedTimer uhr;
  uhr.start();
  while (uhr.elapsed() < ms) {
  }
}

class Fortschritt : public ::testing::Test {
 protected:
  void SetUp() override {
    LbLFortschritt.setObjectName("LbLFortschritt");
    LbLFortschritt.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&LbLFortschritt));
    LbLFortschritt.installEventFilter(&maler);
  }

  std::unique_ptr<QtBediener> bediener() {
    auto b = std::make_unique<QtBediener>(lieferanten, rechnungsnummer, protokoll);
    b->setFortschrittsfeld(&LbLFortschritt);
    maler.gemalt.clear();
    return b;
  }

  Druckerwahl druckerwahl;
  TLieferanten lieferanten;
  TRechnungsnummer rechnungsnummer;
  TProtokollForm protokoll{druckerwahl};
  QLineEdit LbLFortschritt;
  Maler maler;
};

TEST_F(Fortschritt, EinTextDerStehenBleibtIstGemalt) {
  struct Fall {
    std::vector<std::string> vorher;
    int pauseMs;
    std::string text;
  };
  const std::vector<Fall> faelle{
      {{"Kopieren: a.pdf", "Kopieren: b.pdf"}, 0, "Backup erstellen"},
      {{"Lösche alte Verzeichnisse"}, 0, "Backup erstellen"},
      {{"1", "Verarbeiten: 1", "2", "Verarbeiten: 2"}, 0, "Schreiben: 0"},
      {{"Schreiben: 0", "Schreiben: 1"}, 0, "1"},
      {{"Kopieren: a.pdf", "Kopieren: b.pdf"}, 0, "Belegarchiv erstellen"},
      // A series text that comes after the pause shows the series' latest.
      {{"Kopieren: a.pdf", "Kopieren: b.pdf"}, 40, "Kopieren: c.pdf"},
  };
  for (const auto& f : faelle) {
    auto b = bediener();
    for (const auto& t : f.vorher) b->fortschritt(t);
    beschaeftigt(f.pauseMs);
    b->fortschritt(f.text);
    beschaeftigt(50);
    ASSERT_FALSE(maler.gemalt.empty());
    EXPECT_EQ(maler.gemalt.back(), f.text) << f.vorher.front();
  }
}

TEST_F(Fortschritt, SchnelleReihenNurSeltenGemalt) {
  std::vector<std::string> kopieren, umsetzen;
  for (int i = 1; i <= 500; ++i) {
    const std::string n = std::to_string(i);
    kopieren.insert(kopieren.end(), {"Kopieren: " + n + "a.pdf", "Kopieren: " + n + "b.pdf"});
    umsetzen.insert(umsetzen.end(), {n, "Verarbeiten: " + n});
  }
  for (const auto& reihe : {kopieren, umsetzen}) {
    auto b = bediener();
    for (const auto& t : reihe) b->fortschritt(t);
    EXPECT_LT(maler.gemalt.size(), reihe.size() / 2) << reihe.back();
    EXPECT_EQ(LbLFortschritt.text().toStdString(), reihe.back());
  }
}

}  // namespace
}  // namespace belvanto

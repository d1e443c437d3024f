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

// A stage's text is painted at once, whatever series came before it; a
// series' text is painted once the pause since the last painting is long.
TEST_F(Fortschritt, EinTextDerStehenBleibtIstGemalt) {
  struct Fall {
    std::vector<std::string> vorher;  // a series
    int pauseMs;
    std::string text;
    belvanto::Fortschritt art;
  };
  const std::vector<Fall> faelle{
      {{"Kopieren: a.pdf", "Kopieren: b.pdf"}, 0, "Backup erstellen", belvanto::Fortschritt::stufe},
      {{"1", "Verarbeiten: 1", "2", "Verarbeiten: 2"}, 0, "Belegarchiv erstellen",
       belvanto::Fortschritt::stufe},
      {{"Kopieren: a.pdf", "Kopieren: b.pdf"}, 40, "Kopieren: c.pdf", belvanto::Fortschritt::reihe},
  };
  for (const auto& f : faelle) {
    auto b = bediener();
    for (const auto& t : f.vorher) b->fortschritt(t, belvanto::Fortschritt::reihe);
    beschaeftigt(f.pauseMs);
    b->fortschritt(f.text, f.art);
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
    for (const auto& t : reihe) b->fortschritt(t, belvanto::Fortschritt::reihe);
    EXPECT_LT(maler.gemalt.size(), reihe.size() / 2) << reihe.back();
    EXPECT_EQ(LbLFortschritt.text().toStdString(), reihe.back());
  }
}

}  // namespace
}  // namespace belvanto

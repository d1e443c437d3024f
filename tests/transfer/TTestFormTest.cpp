// The data check window on the offscreen platform: its components top to
// bottom, ticks that only the program sets and that stay, OK closing it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "transfer/TTestForm.h"

namespace belvanto {
namespace {

TEST(TTestFormTest, ComponentsTicksAndOk) {
  TTestForm fenster;
  EXPECT_EQ(fenster.windowTitle(), "TestForm");
  EXPECT_EQ(fenster.size(), QSize(245, 258));
  const std::pair<const char*, const char*> kaesten[] = {
      {"ZRBelegPDFCb", "ZR Beleg PDF"},
      {"ZRBelegCSVIndexCb", "ZR Beleg Index CSV"},
      {"ZRBelegCSVBuchungCb", "ZR Beleg Buchung CSV"},
      {"ZRAbrechnungCSVCb", "ZR Abrechnung CSV"},
      {"ZRAbrechnungPDFCb", "ZR Abrechnung PDF"},
      {"RemADVCb", "RemADV CSV"}};
  auto* label = fenster.findChild<QLabel*>("TestFuerLbl");
  ASSERT_TRUE(label);
  int oben = label->y();
  fenster.zeigen();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&fenster));
  for (int i = 0; i < 6; ++i) {
    auto* box = fenster.findChild<QCheckBox*>(kaesten[i].first);
    ASSERT_TRUE(box) << kaesten[i].first;
    EXPECT_EQ(box->text(), kaesten[i].second);
    EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft) << "caption on the left";
    EXPECT_GT(box->y(), oben) << "top to bottom";
    oben = box->y();
    EXPECT_FALSE(box->isChecked());
    fenster.anhaken(static_cast<DatenKasten>(i));
    // Display only: a click through the window changes nothing.
    QTest::mouseClick(fenster.windowHandle(), Qt::LeftButton, {},
                      box->mapTo(&fenster, box->rect().center()));
    EXPECT_TRUE(box->isChecked());
  }
  fenster.schritt("Test auf Daten / Keine Daten !");
  EXPECT_EQ(label->text(), "Test auf Daten / Keine Daten !");
  auto* ok = fenster.findChild<QPushButton*>("OKBtn");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_GT(ok->y(), oben);
  EXPECT_TRUE(fenster.isVisible());
  ok->click();
  EXPECT_FALSE(fenster.isVisible());
}

}  // namespace
}  // namespace belvanto

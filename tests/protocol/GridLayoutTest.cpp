// Geometry of grid printing: scaling, font size and the cell plan.
#include <gtest/gtest.h>

#include <cmath>

#include "protocol/GridLayout.h"

namespace belvanto {
namespace {

struct SkalierFall {
  int v;
  int dpi;
  double faktor;
  int erwartet;
};

TEST(Skaliere, RoundsHalvesToEven) {
  const SkalierFall faelle[] = {
      {151, 1200, 0.6, 1510},  // a protocol column of 150 at the print scale
      {3, 600, 0.6, 15},       // the text padding
      {1, 72, 0.5, 0},         // 0.5
      {3, 72, 0.5, 2},         // 1.5
      {5, 72, 0.5, 2},         // 2.5
      {7, 72, 0.5, 4},         // 3.5
      {1, 72, 2.6, 3},        {0, 600, 0.6, 0}, {65535, 1200, 1.0, 1092250},
  };
  for (const auto& f : faelle) {
    EXPECT_EQ(skaliere(f.v, f.dpi, f.faktor), f.erwartet) << f.v << " " << f.dpi << " " << f.faktor;
  }
}

TEST(Skaliere, HugeScalesStayFarOutsideThePageWithoutOverflow) {
  EXPECT_GT(skaliere(65535, 1200, 1e300), 100'000'000);
  EXPECT_LT(skaliere(65535, 1200, 1e300), 1 << 29);
}

TEST(Schrift, PrintedSizeFollowsTheScale) {
  EXPECT_EQ(druckSchriftgroesse(8, 0.6), 7);  // 6.67
  EXPECT_EQ(druckSchriftgroesse(8, 1.0), 11);
  EXPECT_EQ(druckSchriftgroesse(12, 0.6), 10);
  EXPECT_EQ(druckSchriftgroesse(8, 0.01), 1);  // never a size of 0
  EXPECT_EQ(punktGroesseAusPixel(11), 8);
  EXPECT_EQ(punktGroesseAusPixel(16), 12);
}

const DruckFlaeche kA4Bei1200{1200, 1200, 0, 0, {0, 0, 9921, 14031}};

GridMasse protokollMasse(int zeilen) {
  return GridMasse{{150, 150, 100, 100, 100, 100}, std::vector<int>(zeilen, 24), 0, 0, 1};
}

TEST(GridDruckPlan, ProtocolTableIsAboutSixInchesWide) {
  const auto plan = planeGridDruck(protokollMasse(2), 0, 0, 0.6, kA4Bei1200, 100);
  ASSERT_EQ(plan.zellen.size(), 12u);
  const int links = plan.zellen.front().rahmen.links;
  const int rechts = plan.zellen.back().rahmen.rechts;
  EXPECT_EQ(links, 1);
  EXPECT_EQ(rechts - links, 2 * 1510 + 4 * 1010);  // (151+151+4*101)/72*0.6 inch
  EXPECT_NEAR((rechts - links) / 1200.0, 5.88, 0.01);
}

TEST(GridDruckPlan, CellsGoColumnByColumnWithTextPaddedAndCentred) {
  // 600 dpi, offsets 10/20 points, margin 50/40 pixels: left 50, top 100, pad 15.
  const DruckFlaeche flaeche{600, 600, 50, 40, {-50, -40, 4910, 6976}};
  const GridMasse masse{{20, 30}, {24, 10}, 0, 0, 1};
  const auto plan = planeGridDruck(masse, 10, 20, 0.6, flaeche, 60);
  ASSERT_EQ(plan.zellen.size(), 4u);

  const DruckZelle& a = plan.zellen[0];
  EXPECT_EQ(a.spalte, 0);
  EXPECT_EQ(a.zeile, 0);
  EXPECT_EQ(a.rahmen, (Rechteck{101, 141, 206, 266}));
  EXPECT_EQ(a.textClip, (Rechteck{116, 142, 191, 265}));
  EXPECT_EQ(a.textX, 116);
  EXPECT_EQ(a.textY, 141 + 32);
  EXPECT_FALSE(a.fix);

  const DruckZelle& b = plan.zellen[1];
  EXPECT_EQ(b.spalte, 0);
  EXPECT_EQ(b.zeile, 1);
  EXPECT_EQ(b.rahmen, (Rechteck{101, 266, 206, 321}));
  EXPECT_EQ(b.textY, 264);  // text taller than the cell: (55 - 60) / 2 truncates to -2

  EXPECT_EQ(plan.zellen[2].spalte, 1);
  EXPECT_EQ(plan.zellen[2].zeile, 0);
  EXPECT_EQ(plan.zellen[2].rahmen, (Rechteck{206, 141, 361, 266}));

  ASSERT_EQ(plan.streifen.size(), 2u);
  EXPECT_EQ(plan.streifen[0], (Rechteck{101, 322, 206, 381}));
  EXPECT_EQ(plan.streifen[1], (Rechteck{206, 322, 361, 381}));
  EXPECT_TRUE(plan.mitLinien);
}

TEST(GridDruckPlan, FixedCellsAndLineWidth) {
  GridMasse masse{{10, 10, 10}, {10, 10, 10}, 1, 2, 0};
  const auto plan = planeGridDruck(masse, 0, 0, 1.0, kA4Bei1200, 10);
  EXPECT_FALSE(plan.mitLinien);
  ASSERT_EQ(plan.zellen.size(), 9u);
  for (const auto& z : plan.zellen) {
    EXPECT_EQ(z.fix, z.spalte < 1 || z.zeile < 2) << z.spalte << "/" << z.zeile;
  }
}

TEST(GridDruckPlan, NoScaleAboveZeroPlansNothing) {
  for (double faktor : {0.0, -0.6, std::nan("")}) {
    const auto plan = planeGridDruck(protokollMasse(3), 0, 0, faktor, kA4Bei1200, 10);
    EXPECT_TRUE(plan.zellen.empty());
    EXPECT_TRUE(plan.streifen.empty());
  }
}

TEST(GridDruckPlan, RowsAndColumnsBeyondThePageAreLeftOut) {
  // Row pitch at 1200 dpi and 0.6 is 250 pixels: rows 0..56 reach into the page.
  const auto plan = planeGridDruck(protokollMasse(100'000), 0, 0, 0.6, kA4Bei1200, 100);
  ASSERT_EQ(plan.zellen.size(), 6u * 57u);
  EXPECT_EQ(plan.zellen.back().zeile, 56);
  EXPECT_TRUE(plan.streifen.empty());

  GridMasse breit{std::vector<int>(1000, 150), {24}, 0, 0, 1};
  const auto quer = planeGridDruck(breit, 0, 0, 0.6, kA4Bei1200, 100);
  EXPECT_EQ(quer.zellen.size(), 7u);  // 1510 pixels each: the 7th starts at 9061
}

}  // namespace
}  // namespace belvanto

// The text table: [column, row] addressing, reads and writes outside, and the
// rule that a table filled row by row ends with one empty row.
#include <gtest/gtest.h>

#include "util/TextGrid.h"

namespace belvanto {
namespace {

TEST(TextGrid, AddressesColumnThenRow) {
  TextGrid g(3, 2);
  g.setCell(2, 1, "unten rechts");
  g.setCell(0, 1, "unten links");
  EXPECT_EQ(g.cell(2, 1), "unten rechts");
  EXPECT_EQ(g.cell(0, 1), "unten links");
  EXPECT_EQ(g.cell(1, 1), "");
  EXPECT_EQ(g.cell(2, 0), "");
}

TEST(TextGrid, OutsideReadsEmptyAndWritesAreIgnored) {
  TextGrid g(2, 2);
  const struct {
    int col, row;
  } aussen[] = {{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {100000, 100000}, {-5, -5}};
  for (const auto& a : aussen) {
    g.setCell(a.col, a.row, "x");
    EXPECT_EQ(g.cell(a.col, a.row), "") << a.col << "," << a.row;
  }
  EXPECT_EQ(g.rowCount(), 2);
  for (int c = 0; c < 2; ++c)
    for (int r = 0; r < 2; ++r) EXPECT_EQ(g.cell(c, r), "");
}

TEST(TextGrid, AppendRowWritesLastRowThenAddsEmptyRow) {
  TextGrid g(3);  // one empty row to start with
  g.appendRow({"a", "b", "c"});
  g.appendRow({"d", "e"});
  g.appendRow({"f", "g", "h", "zu viel"});
  ASSERT_EQ(g.rowCount(), 4);
  EXPECT_EQ(g.cell(0, 0), "a");
  EXPECT_EQ(g.cell(2, 0), "c");
  EXPECT_EQ(g.cell(1, 1), "e");
  EXPECT_EQ(g.cell(2, 1), "");
  EXPECT_EQ(g.cell(2, 2), "h");
  EXPECT_EQ(g.cell(3, 2), "");
  for (int c = 0; c < 3; ++c) EXPECT_EQ(g.cell(c, 3), "");
}

TEST(TextGrid, AppendRowOnEmptyTableStillEndsWithEmptyRow) {
  TextGrid g(2, 0);
  g.appendRow({"x", "y"});
  ASSERT_EQ(g.rowCount(), 2);
  EXPECT_EQ(g.cell(1, 0), "y");
  EXPECT_EQ(g.cell(0, 1), "");
}

TEST(TextGrid, SetRowCountKeepsRemainingCellsAndClearEmpties) {
  TextGrid g(2, 3);
  g.setCell(1, 0, "bleibt");
  g.setCell(1, 2, "faellt weg");
  g.setRowCount(1);
  EXPECT_EQ(g.cell(1, 0), "bleibt");
  g.setRowCount(3);
  EXPECT_EQ(g.cell(1, 2), "");
  g.setRowCount(-4);
  EXPECT_EQ(g.rowCount(), 0);
  g.setRowCount(2);
  g.setCell(0, 1, "neu");
  g.clear();
  EXPECT_EQ(g.rowCount(), 1);
  EXPECT_EQ(g.cell(0, 0), "");
  EXPECT_EQ(g.cell(0, 1), "");
  g.clear(5);
  EXPECT_EQ(g.rowCount(), 5);
}

TEST(TextGrid, ManyRowsOfWideTable) {
  TextGrid g(31);
  for (int r = 0; r < 100000; ++r) g.appendRow({std::to_string(r), "", "", "x"});
  ASSERT_EQ(g.rowCount(), 100001);
  EXPECT_EQ(g.cell(0, 99999), "99999");
  EXPECT_EQ(g.cell(3, 50000), "x");
  EXPECT_EQ(g.cell(30, 99999), "");
}

}  // namespace
}  // namespace belvanto

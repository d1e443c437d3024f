// The table of text cells every input file and intermediate result lives in,
// addressed as [column, row]. A cell outside the table reads as empty text.
// A row that holds no text costs no cells.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace belvanto {

class TextGrid {
 public:
  explicit TextGrid(int columns, int rows = 1);

  int colCount() const { return columns_; }
  int rowCount() const { return rows_; }

  // Keeps the cells of the remaining rows; new rows are empty. At least 0.
  void setRowCount(int rows);
  // Back to `rows` empty rows.
  void clear(int rows = 1);
  void addRow() { setRowCount(rows_ + 1); }

  const std::string& cell(int col, int row) const;
  // A write outside the table is ignored.
  void setCell(int col, int row, std::string text);

  // The rule for tables filled row by row: the cells go into the last row,
  // then one empty row is added, so the table always ends with an empty row.
  void appendRow(std::vector<std::string> cells);

 private:
  static constexpr int32_t kKeinBlock = -1;
  static constexpr std::size_t kBloeckeJeChunk = 256;
  int32_t belegen();
  void freigeben(int32_t block);
  std::string* zellen(int32_t block);
  const std::string* zellen(int32_t block) const;

  int columns_;
  int rows_ = 0;
  std::vector<int32_t> block_;  // per row: its block of columns_ cells, or kKeinBlock
  // kBloeckeJeChunk blocks each, never resized, so no cell ever moves.
  std::vector<std::vector<std::string>> chunks_;
  int32_t bloecke_ = 0;                                   // blocks handed out
  std::vector<int32_t> frei_;                             // blocks of rows that were cut off
};

}  // namespace belvanto

// The in-memory table of text cells behind every reader and intermediate
// result: one flat row-major vector, so 100,000 rows of 31 columns stay cheap.
#include "util/TextGrid.h"

#include <algorithm>

namespace belvanto {

namespace {
const std::string kLeer;
}

TextGrid::TextGrid(int columns, int rows)
    : columns_(std::max(columns, 0)), rows_(std::max(rows, 0)) {
  cells_.resize(static_cast<std::size_t>(columns_) * rows_);
}

void TextGrid::setRowCount(int rows) {
  rows = std::max(rows, 0);
  const auto neu = static_cast<std::size_t>(columns_) * rows;
  // Grown one row at a time by the readers: keep growth geometric.
  if (neu > cells_.capacity()) cells_.reserve(std::max(neu, cells_.capacity() * 2));
  cells_.resize(neu);
  rows_ = rows;
}

void TextGrid::clear(int rows) {
  rows_ = std::max(rows, 0);
  cells_.clear();
  cells_.resize(static_cast<std::size_t>(columns_) * rows_);
}

const std::string& TextGrid::cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= columns_ || row >= rows_) return kLeer;
  return cells_[static_cast<std::size_t>(row) * columns_ + col];
}

void TextGrid::setCell(int col, int row, std::string text) {
  if (col < 0 || row < 0 || col >= columns_ || row >= rows_) return;
  cells_[static_cast<std::size_t>(row) * columns_ + col] = std::move(text);
}

void TextGrid::appendRow(std::vector<std::string> cells) {
  if (rows_ == 0) addRow();
  const int zeile = rows_ - 1;
  const int anzahl = std::min(static_cast<int>(cells.size()), columns_);
  for (int c = 0; c < anzahl; ++c) setCell(c, zeile, std::move(cells[c]));
  addRow();
}

}  // namespace belvanto

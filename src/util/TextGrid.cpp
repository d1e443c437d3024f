// The in-memory table of text cells behind every reader and intermediate
// result. A row costs its cells only once one of them is written: the rows
// point into one pool of cell blocks, and an empty row is an index, so a file
// of blank lines costs a few bytes per line, not a row of cells.
#include "util/TextGrid.h"

#include <algorithm>

namespace belvanto {

namespace {
const std::string kLeer;
}

TextGrid::TextGrid(int columns, int rows) : columns_(std::max(columns, 0)) {
  setRowCount(rows);
}

void TextGrid::setRowCount(int rows) {
  rows = std::max(rows, 0);
  for (int r = rows; r < rows_; ++r)
    if (block_[static_cast<std::size_t>(r)] >= 0) freigeben(block_[static_cast<std::size_t>(r)]);
  // Grown one row at a time by the readers: keep growth geometric.
  if (static_cast<std::size_t>(rows) > block_.capacity())
    block_.reserve(std::max<std::size_t>(rows, block_.capacity() * 2));
  block_.resize(static_cast<std::size_t>(rows), kKeinBlock);
  rows_ = rows;
}

void TextGrid::clear(int rows) {
  block_.clear();
  cells_.clear();
  frei_.clear();
  rows_ = 0;
  setRowCount(rows);
}

const std::string& TextGrid::cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= columns_ || row >= rows_) return kLeer;
  const int32_t b = block_[static_cast<std::size_t>(row)];
  return b < 0 ? kLeer : cells_[static_cast<std::size_t>(b) * columns_ + col];
}

void TextGrid::setCell(int col, int row, std::string text) {
  if (col < 0 || row < 0 || col >= columns_ || row >= rows_) return;
  int32_t& b = block_[static_cast<std::size_t>(row)];
  if (b < 0) {
    if (text.empty()) return;
    b = belegen();
  }
  cells_[static_cast<std::size_t>(b) * columns_ + col] = std::move(text);
}

void TextGrid::appendRow(std::vector<std::string> cells) {
  if (rows_ == 0) addRow();
  const int zeile = rows_ - 1;
  const int anzahl = std::min(static_cast<int>(cells.size()), columns_);
  for (int c = 0; c < anzahl; ++c) setCell(c, zeile, std::move(cells[c]));
  addRow();
}

int32_t TextGrid::belegen() {
  if (!frei_.empty()) {
    const int32_t b = frei_.back();
    frei_.pop_back();
    return b;
  }
  const auto b = static_cast<int32_t>(cells_.size() / std::max(columns_, 1));
  const std::size_t neu = cells_.size() + static_cast<std::size_t>(columns_);
  if (neu > cells_.capacity()) cells_.reserve(std::max(neu, cells_.capacity() * 2));
  cells_.resize(neu);
  return b;
}

void TextGrid::freigeben(int32_t b) {
  const auto anfang = cells_.begin() + static_cast<std::ptrdiff_t>(b) * columns_;
  std::for_each(anfang, anfang + columns_, [](std::string& s) { std::string().swap(s); });
  frei_.push_back(b);
}

}  // namespace belvanto

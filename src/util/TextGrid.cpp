// The in-memory table of text cells behind every reader and intermediate
// result. A row costs its cells only once one of them is written: the rows
// point into a pool of cell blocks, and an empty row is an index, so a file
// of blank lines costs a few bytes per line, not a row of cells. The pool
// grows a chunk of blocks at a time and never moves what it holds.
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
  chunks_.clear();
  bloecke_ = 0;
  frei_.clear();
  rows_ = 0;
  setRowCount(rows);
}

const std::string& TextGrid::cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= columns_ || row >= rows_) return kLeer;
  const int32_t b = block_[static_cast<std::size_t>(row)];
  return b < 0 ? kLeer : zellen(b)[col];
}

std::string* TextGrid::zellen(int32_t block) {
  const auto b = static_cast<std::size_t>(block);
  return chunks_[b / kBloeckeJeChunk].data() + (b % kBloeckeJeChunk) * columns_;
}

const std::string* TextGrid::zellen(int32_t block) const {
  return const_cast<TextGrid*>(this)->zellen(block);
}

void TextGrid::setCell(int col, int row, std::string text) {
  if (col < 0 || row < 0 || col >= columns_ || row >= rows_) return;
  int32_t& b = block_[static_cast<std::size_t>(row)];
  if (b < 0) {
    if (text.empty()) return;
    b = belegen();
  }
  zellen(b)[col] = std::move(text);
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
  if (bloecke_ % kBloeckeJeChunk == 0)
    chunks_.emplace_back(kBloeckeJeChunk * static_cast<std::size_t>(std::max(columns_, 1)));
  return bloecke_++;
}

void TextGrid::freigeben(int32_t b) {
  std::string* z = zellen(b);
  for (int c = 0; c < columns_; ++c) std::string().swap(z[c]);
  frei_.push_back(b);
}

}  // namespace belvanto

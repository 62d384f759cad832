#include "sram/memory_sram_view.h"

#include <algorithm>
#include <cstddef>

namespace velwin::sramman {

MemorySramView::MemorySramView() : rows_(1) {}

void MemorySramView::SetRowCount(int rows) {
  rows_.resize(static_cast<std::size_t>(std::max(rows, 1)));
}

void MemorySramView::SetCell(int column, int row, const std::string& text) {
  if (column < 0 || column > 1 || row < 0 || row >= RowCount())
    return;
  rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
}

std::string MemorySramView::Cell(int column, int row) const {
  if (column < 0 || column > 1 || row < 0 || row >= RowCount())
    return {};
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

}  // namespace velwin::sramman

#pragma once

#include <array>
#include <string>
#include <vector>

#include "sram/sram_view.h"

namespace velwin::sramman {

// A log and grid kept in memory, for the command line and the tests. Log
// lines are kept as their messages, without the bullet.
class MemorySramView : public SramView {
 public:
  MemorySramView();

  void ClearLog() override { log_.clear(); }
  void LogStatus(const std::string& message) override { log_.push_back(message); }

  int RowCount() const override { return static_cast<int>(rows_.size()); }
  void SetRowCount(int rows) override;
  void SetCell(int column, int row, const std::string& text) override;
  std::string Cell(int column, int row) const override;
  int SelectedRow() const override { return selectedRow_; }

  void SelectRow(int row) { selectedRow_ = row; }
  const std::vector<std::string>& Log() const { return log_; }

 private:
  using Row = std::array<std::string, 2>;
  std::vector<std::string> log_;
  std::vector<Row> rows_;
  int selectedRow_ = 0;
};

}  // namespace velwin::sramman

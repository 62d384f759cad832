#pragma once

#include <string>

namespace velwin::sramman {

// The status log and the game grid as the cart analysis and the transfers
// see them. The window implements it with its memo and string grid; the
// command line and the tests keep it in memory.
class SramView {
 public:
  virtual ~SramView() = default;

  virtual void ClearLog() = 0;
  // Appends one line: the bullet, a blank and the message (8-bit text).
  virtual void LogStatus(const std::string& message) = 0;

  // The grid never has fewer than one row: asking for 0 rows leaves one.
  virtual int RowCount() const = 0;
  virtual void SetRowCount(int rows) = 0;
  virtual void SetCell(int column, int row, const std::string& text) = 0;
  virtual std::string Cell(int column, int row) const = 0;
  // The row the user selected, counted from 0; 0 when nothing is selected.
  virtual int SelectedRow() const = 0;
};

}  // namespace velwin::sramman

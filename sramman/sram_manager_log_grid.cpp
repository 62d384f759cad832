// The log and the grid of the SRAM manager: what the core's SramView
// writes to, and the row it reads back for a transfer.
#include <QColor>
#include <QFont>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <algorithm>

#include "encoding/windows1252.h"
#include "sram/failure_line.h"
#include "sramman/sram_manager_form.h"

namespace velwin::sramman {
namespace {

// The core speaks Windows-1252, as the cart titles do; the window UTF-8.
QString FromAnsi(const std::string& text) {
  return QString::fromStdString(encoding::Windows1252ToUtf8(text));
}

std::string ToAnsi(const QString& text) {
  return encoding::Utf8ToWindows1252(text.toStdString());
}

}  // namespace

void TSRAMManForm::ClearLog() {
  memo1_->clear();
}

void TSRAMManForm::LogStatus(const std::string& message) {
  const QString line = QStringLiteral("\u2022 ") + FromAnsi(message);
  // A failure in bold red, so it stands out from the lime lines of what was
  // found and done; every other line keeps the memo's own colours.
  QTextCharFormat format;
  if (IsFailureMessage(message)) {
    format.setForeground(QColor(0xFF, 0x50, 0x50));
    format.setFontWeight(QFont::Bold);
  }
  QTextCursor cursor(memo1_->document());
  cursor.movePosition(QTextCursor::End);
  if (!memo1_->document()->isEmpty())
    cursor.insertBlock(QTextBlockFormat(), format);
  cursor.insertText(line, format);
  // Scroll to the line just added, as the memo of a long log must: the
  // outcome of a transfer is the newest line, below any earlier error.
  memo1_->moveCursor(QTextCursor::End);
  memo1_->ensureCursorVisible();
  RecordLine(message);
}

int TSRAMManForm::RowCount() const {
  return stringGrid1_->rowCount();
}

void TSRAMManForm::SetRowCount(int rows) {
  stringGrid1_->setRowCount(std::max(rows, 1));
}

void TSRAMManForm::SetCell(int column, int row, const std::string& text) {
  if (row < 0 || row >= stringGrid1_->rowCount() || column < 0 || column > 1)
    return;
  QTableWidgetItem* item = stringGrid1_->item(row, column);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    stringGrid1_->setItem(row, column, item);
  }
  item->setText(FromAnsi(text));
}

std::string TSRAMManForm::Cell(int column, int row) const {
  const QTableWidgetItem* item = stringGrid1_->item(row, column);
  return item == nullptr ? std::string() : ToAnsi(item->text());
}

int TSRAMManForm::SelectedRow() const {
  const auto ranges = stringGrid1_->selectedRanges();
  if (!ranges.isEmpty())
    return ranges.first().topRow();
  return std::max(stringGrid1_->currentRow(), 0);
}

}  // namespace velwin::sramman

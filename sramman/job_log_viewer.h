#pragma once

#include <QDialog>
#include <QString>
#include <string>

class QMenu;
class QPlainTextEdit;
class QAction;

namespace velwin::sramman {

// The job log in a read-only window: its newest part, the end in view. It
// reads the file each time it is shown, so a job that ended meanwhile is
// there.
class JobLogViewer : public QDialog {
  Q_OBJECT

 public:
  JobLogViewer(QWidget* parent, std::string path);

  QPlainTextEdit* Text() const { return text_; }
  // Reads the log again, or says why it cannot be read.
  void Reload();

 private:
  std::string path_;
  QPlainTextEdit* text_ = nullptr;
};

// The log's text for the viewer: the last limit bytes of the file (from a
// line's start), or a sentence saying why there is nothing to show.
QString JobLogText(const std::string& path, qint64 limit);

// "Show Log" at the end of menu, opening the viewer on path over window.
QAction* AddShowLogAction(QMenu* menu, QWidget* window, const std::string& path);

}  // namespace velwin::sramman

#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QWidget;

namespace velwin::mainwindow {

// Lets local files be dragged onto a widget from a file manager, and hands
// the dropped ones on. Drags that carry no local file are refused, so the
// pointer shows they would not land. Owned by the widget it watches.
class RomDropFilter : public QObject {
  Q_OBJECT

 public:
  using AddFiles = std::function<void(const QStringList& files)>;

  RomDropFilter(QWidget* target, AddFiles addFiles);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  AddFiles addFiles_;
};

}  // namespace velwin::mainwindow

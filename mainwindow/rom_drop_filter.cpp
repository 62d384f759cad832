#include "mainwindow/rom_drop_filter.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace velwin::mainwindow {
namespace {

// The local files among dropped URLs.
QStringList DroppedFiles(const QMimeData* mime) {
  QStringList files;
  if (mime == nullptr || !mime->hasUrls()) {
    return files;
  }
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) {
      files.append(url.toLocalFile());
    }
  }
  return files;
}

}  // namespace

RomDropFilter::RomDropFilter(QWidget* target, AddFiles addFiles)
    : QObject(target), addFiles_(std::move(addFiles)) {
  target->installEventFilter(this);
}

bool RomDropFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (DroppedFiles(drag->mimeData()).isEmpty()) {
        drag->ignore();
      } else {
        drag->acceptProposedAction();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList files = DroppedFiles(drop->mimeData());
      if (files.isEmpty()) {
        drop->ignore();
        return true;
      }
      drop->acceptProposedAction();
      addFiles_(files);
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace velwin::mainwindow

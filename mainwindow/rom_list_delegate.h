#pragma once

#include <QStyledItemDelegate>
#include <functional>

namespace velwin::mainwindow {

// Draws the items of the ROM list through the owner's handler, on a
// canvas prepared as the system prepares owner-drawn items: the brush and
// pen already set for a selected or an unselected item. The focus frame of
// the current item is drawn after the handler. Items are 16 pixels high.
class RomListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using DrawItem = std::function<void(QPainter& painter, int index, const QRect& rect)>;

  static constexpr int kItemHeight = 16;

  RomListDelegate(DrawItem drawItem, QObject* parent);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  DrawItem drawItem_;
};

}  // namespace velwin::mainwindow

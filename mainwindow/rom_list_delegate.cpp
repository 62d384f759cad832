#include "mainwindow/rom_list_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace velwin::mainwindow {

RomListDelegate::RomListDelegate(DrawItem drawItem, QObject* parent)
    : QStyledItemDelegate(parent), drawItem_(std::move(drawItem)) {}

void RomListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  const QPalette& palette = option.palette;
  painter->save();
  painter->setBrush(palette.brush(selected ? QPalette::Highlight : QPalette::Base));
  painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
  painter->setFont(option.font);
  drawItem_(*painter, index.row(), option.rect);
  painter->restore();

  if (option.state.testFlag(QStyle::State_HasFocus)) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.backgroundColor = palette.color(selected ? QPalette::Highlight : QPalette::Base);
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
  }
}

QSize RomListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& /*index*/) const {
  return {option.rect.width(), kItemHeight};
}

}  // namespace velwin::mainwindow

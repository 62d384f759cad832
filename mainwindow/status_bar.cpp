#include "mainwindow/status_bar.h"

#include <qdrawutil.h>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace velwin::mainwindow {
namespace {

// Panels are sunken boxes 2 pixels apart, starting 2 pixels below the bar's
// top edge, like the system's own status bars.
constexpr int kTopMargin = 2;
constexpr int kPanelGap = 2;
constexpr int kBevel = 1;

}  // namespace

StatusBar::StatusBar(std::vector<int> panelWidths, QWidget* parent)
    : QWidget(parent),
      widths_(std::move(panelWidths)),
      texts_(widths_.size()),
      toolTips_(widths_.size()) {
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
}

QString StatusBar::PanelText(int panel) const {
  if (panel < 0 || panel >= PanelCount()) {
    return {};
  }
  return texts_[static_cast<std::size_t>(panel)];
}

void StatusBar::SetPanelText(int panel, const QString& text) {
  if (panel < 0 || panel >= PanelCount() || texts_[static_cast<std::size_t>(panel)] == text) {
    return;
  }
  texts_[static_cast<std::size_t>(panel)] = text;
  update();
}

void StatusBar::SetPanelToolTip(int panel, const QString& tip) {
  if (panel >= 0 && panel < PanelCount())
    toolTips_[static_cast<std::size_t>(panel)] = tip;
}

bool StatusBar::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip)
    return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  for (int panel = 0; panel < PanelCount(); ++panel) {
    const QRect area = PanelRect(panel);
    // The bar's full height and the gap after the panel belong to it, so no
    // stripe between two panels is without a tip.
    if (help->pos().x() >= area.left() - 1 &&
        help->pos().x() <= area.right() + 1 + kBevel + kPanelGap) {
      const QString& tip = toolTips_[static_cast<std::size_t>(panel)];
      if (!tip.isEmpty()) {
        QToolTip::showText(help->globalPos(), tip, this, area);
        return true;
      }
      break;
    }
  }
  QToolTip::hideText();
  event->ignore();
  return true;
}

QRect StatusBar::PanelRect(int panel) const {
  int left = 0;
  for (int i = 0; i < panel; ++i) {
    left += widths_[static_cast<std::size_t>(i)];
  }
  const bool last = panel == PanelCount() - 1;
  const int right = last ? width() : left + widths_[static_cast<std::size_t>(panel)] - kPanelGap;
  const QRect outer(QPoint(left, kTopMargin), QPoint(right - 1, height() - 1));
  return outer.adjusted(kBevel, kBevel, -kBevel, -kBevel);
}

void StatusBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  for (int panel = 0; panel < PanelCount(); ++panel) {
    const QRect inner = PanelRect(panel);
    qDrawShadePanel(&painter, inner.adjusted(-kBevel, -kBevel, kBevel, kBevel), palette(), true,
                    kBevel);
    painter.save();
    painter.setClipRect(inner);
    painter.setFont(font());
    if (panel == 0) {
      painter.setPen(palette().color(QPalette::WindowText));
      painter.drawText(inner.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       texts_.front());
    } else if (drawPanel_) {
      drawPanel_(painter, panel, inner);
    }
    painter.restore();
  }
}

}  // namespace velwin::mainwindow

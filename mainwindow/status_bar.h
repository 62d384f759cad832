#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

namespace velwin::mainwindow {

// A status bar of fixed-width panels, the last reaching to the right edge.
// Panel 0 shows its text; every other panel is drawn by the owner's
// callback, given the panel's inner rectangle on a button-face background.
// Any change of a panel's text repaints the whole bar.
class StatusBar : public QWidget {
  Q_OBJECT

 public:
  using DrawPanel = std::function<void(QPainter& painter, int panel, const QRect& rect)>;

  StatusBar(std::vector<int> panelWidths, QWidget* parent);

  int PanelCount() const { return static_cast<int>(texts_.size()); }
  QString PanelText(int panel) const;
  // Setting the text a panel already holds repaints nothing.
  void SetPanelText(int panel, const QString& text);
  void SetDrawPanel(DrawPanel drawPanel) { drawPanel_ = std::move(drawPanel); }
  // The tool tip shown over a panel; none by default.
  void SetPanelToolTip(int panel, const QString& tip);

  // The area inside a panel's bevel, in the bar's coordinates.
  QRect PanelRect(int panel) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  std::vector<int> widths_;
  std::vector<QString> texts_;
  std::vector<QString> toolTips_;
  DrawPanel drawPanel_;
};

}  // namespace velwin::mainwindow

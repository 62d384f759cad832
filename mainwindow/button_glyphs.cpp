#include "mainwindow/button_glyphs.h"

#include <QPainter>
#include <QPixmap>

namespace velwin::mainwindow {
namespace {

constexpr int kSize = 16;

// A small ROM cartridge outline, the base of the list glyphs.
void DrawCartridge(QPainter& p) {
  p.setPen(QColor(64, 64, 64));
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(1, 1, 10, 13);
  p.setBrush(QColor(96, 96, 160));
  p.drawRect(3, 3, 6, 5);
}

void DrawAdd(QPainter& p) {
  DrawCartridge(p);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 128, 0));
  p.drawRect(10, 7, 6, 2);
  p.drawRect(12, 5, 2, 6);
}

void DrawRemove(QPainter& p) {
  DrawCartridge(p);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(192, 0, 0));
  p.drawRect(9, 9, 7, 2);
}

void DrawClear(QPainter& p) {
  DrawCartridge(p);
  QPen pen(QColor(192, 0, 0), 2);
  p.setPen(pen);
  p.drawLine(8, 7, 14, 13);
  p.drawLine(14, 7, 8, 13);
}

// A flash card with its contact fingers and a lightning stroke.
void DrawFlash(QPainter& p) {
  p.setPen(QColor(32, 32, 32));
  p.setBrush(QColor(40, 80, 40));
  p.drawRect(1, 2, 13, 10);
  p.setPen(QColor(220, 180, 40));
  for (int x = 3; x <= 12; x += 2) {
    p.drawLine(x, 13, x, 14);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 220, 0));
  const QPoint bolt[] = {{8, 3}, {5, 8}, {8, 8}, {6, 12}, {11, 6}, {8, 6}, {10, 3}};
  p.drawPolygon(bolt, 7);
}

// A button cell: the battery that keeps a cart's SRAM alive.
void DrawSram(QPainter& p) {
  p.setPen(QColor(48, 48, 48));
  p.setBrush(QColor(200, 200, 210));
  p.drawEllipse(2, 2, 12, 12);
  p.setBrush(QColor(160, 160, 176));
  p.drawEllipse(5, 5, 6, 6);
  p.setPen(QColor(0, 0, 0));
  p.drawLine(7, 8, 9, 8);
  p.drawLine(8, 7, 8, 9);
}

// A sticking plaster laid across the cartridge.
void DrawPatch(QPainter& p) {
  DrawCartridge(p);
  p.translate(8, 8);
  p.rotate(-45);
  p.setPen(QColor(120, 80, 40));
  p.setBrush(QColor(230, 190, 140));
  p.drawRoundedRect(-7, -2, 14, 5, 2, 2);
  p.setBrush(QColor(250, 230, 200));
  p.drawRect(-2, -2, 4, 5);
}

}  // namespace

QIcon ButtonGlyph(Glyph glyph) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  switch (glyph) {
    case Glyph::kAdd:
      DrawAdd(painter);
      break;
    case Glyph::kRemove:
      DrawRemove(painter);
      break;
    case Glyph::kClear:
      DrawClear(painter);
      break;
    case Glyph::kFlash:
      DrawFlash(painter);
      break;
    case Glyph::kSram:
      DrawSram(painter);
      break;
    case Glyph::kPatch:
      DrawPatch(painter);
      break;
  }
  painter.end();
  return QIcon(pixmap);
}

}  // namespace velwin::mainwindow

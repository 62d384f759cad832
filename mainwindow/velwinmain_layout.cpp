// The controls of the main window, placed at fixed pixel positions.

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>

#include "mainwindow/button_glyphs.h"
#include "mainwindow/rom_list_delegate.h"
#include "mainwindow/status_bar.h"
#include "mainwindow/status_panels.h"
#include "mainwindow/velwinmain.h"

namespace velwin::mainwindow {
namespace {

constexpr int kClientWidth = 545;
constexpr int kClientHeight = 289;
constexpr int kStatusHeight = 19;

// The ROM Info rows: a caption, and the value label it names (none for the
// bold headings).
struct InfoRow {
  const char* caption;
  const char* valueLabel;
};

constexpr InfoRow kInfoRows[] = {
    {"File information:", nullptr},
    {"File Name:", "fname"},
    {"File Size:", "fsize"},
    {"Stripped size:", "fssize"},
    {"GB ROM:", "fileisgbrom"},
    {"ROM Header information:", nullptr},
    {"ROM Name:", "romname"},
    {"Color:", "romcolor"},
    {"Size:", "romsize"},
    {"CRC:", "ROMCRC"},
    {"VELTRA DataBase information:", nullptr},
    {"DB Name:", "romdbase"},
    {"ROM Name:", "ROMDBName"},
};

struct SpeedButton {
  const char* name;
  const char* caption;
  const char* hint;
  Glyph glyph;
};

constexpr SpeedButton kSpeedButtons[] = {
    {"AddROMs", "Add    ", "Add ROM files to list", Glyph::kAdd},
    {"RemoveROMs", "Remove ", "Remove selected ROM files from list", Glyph::kRemove},
    {"ClearROMs", "Clear  ", "Clear ROMs list", Glyph::kClear},
    {"VELTRA", "VELTRA ", "Run VELTRA", Glyph::kFlash},
    {"SRAMButton", "SRAM   ", "Open SRAM Manager", Glyph::kSram},
    {"IPS", "Use IPS",
     "Apply IPS patch on selected ROM\n"
     "WARNING:\n"
     "WARNING: Using wrong IPS file will damage the ROM file !\n"
     "WARNING: The changes done by IPS patching are permament !\n"
     "WARNING:",
     Glyph::kPatch},
};

// The window font. Where "MS Sans Serif" is missing, a face of similar
// width stands in, made smaller where needed until the widest caption of the
// ROM Info rows ends before the value labels at their fixed places.
QFont WindowFont() {
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("DejaVu Sans Condensed")});
  font.setStyleHint(QFont::SansSerif);
  constexpr int kCaptionRoom = 80 - 16 - 2;
  while (QFontMetrics(font).horizontalAdvance(QStringLiteral("Stripped size:")) > kCaptionRoom &&
         font.pointSizeF() > 6.0) {
    font.setPointSizeF(font.pointSizeF() - 0.25);
  }
  return font;
}

const SpeedButton& FindButton(const char* name) {
  for (const SpeedButton& button : kSpeedButtons) {
    if (std::string_view(button.name) == name) {
      return button;
    }
  }
  return kSpeedButtons[0];
}

}  // namespace

void TForm1::BuildControls() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(kMainWindowCaption));
  // A fixed single border: a system menu and a minimise box, no maximise.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(WindowFont());

  BuildRomsGroup();
  BuildRomInfo();
  BuildStatusBar();
}

QToolButton* TForm1::AddSpeedButton(QWidget* parent, const char* name, int x, int y) {
  const SpeedButton& design = FindButton(name);
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(design.name));
  button->setText(QString::fromLatin1(design.caption));
  button->setToolTip(QString::fromLatin1(design.hint));
  button->setIcon(ButtonGlyph(design.glyph));
  button->setIconSize(QSize(16, 16));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);
  // Fixed pitch so the blank-padded captions line up in their columns.
  QFont captionFont(QStringLiteral("Courier New"), 8);
  captionFont.setStyleHint(QFont::TypeWriter);
  button->setFont(captionFont);
  button->setGeometry(x, y, 81, 25);
  return button;
}

void TForm1::BuildRomsGroup() {
  auto* group = new QGroupBox(QStringLiteral("ROM files list"), this);
  group->setObjectName(QStringLiteral("RomsGroup"));
  group->setGeometry(8, 8, 273, 249);

  // The group's client area: inside its frame, below its caption.
  const int inset = 2;
  const int captionTop = 15;
  const int clientWidth = group->width() - 2 * inset;
  const int controlsTop = group->height() - inset - 71;

  auto* controls = new QWidget(group);
  controls->setObjectName(QStringLiteral("ROMsCtrl"));
  controls->setGeometry(inset, controlsTop, clientWidth, 71);

  romsList_ = new QListWidget(group);
  romsList_->setObjectName(QStringLiteral("ROMsList"));
  romsList_->setGeometry(inset, captionTop, clientWidth, controlsTop - captionTop);
  romsList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  romsList_->setUniformItemSizes(true);
  romsList_->setDragDropMode(QAbstractItemView::NoDragDrop);
  romsList_->setAcceptDrops(true);
  romsList_->viewport()->setAcceptDrops(true);
  romsList_->viewport()->installEventFilter(this);
  romsList_->setItemDelegate(
      new RomListDelegate([this](QPainter& painter, int index,
                                 const QRect& rect) { ROMsListDrawItem(painter, index, rect); },
                          romsList_));

  connect(AddSpeedButton(controls, "AddROMs", 8, 8), &QToolButton::clicked, this,
          [this] { AddROMsClick(); });
  connect(AddSpeedButton(controls, "RemoveROMs", 96, 8), &QToolButton::clicked, this,
          [this] { RemoveROMsClick(); });
  connect(AddSpeedButton(controls, "ClearROMs", 184, 8), &QToolButton::clicked, this,
          [this] { ClearROMsClick(); });
  connect(AddSpeedButton(controls, "VELTRA", 8, 40), &QToolButton::clicked, this, [this] { C(); });
  connect(AddSpeedButton(controls, "SRAMButton", 96, 40), &QToolButton::clicked, this,
          [this] { SRAMButtonClick(); });
  connect(AddSpeedButton(controls, "IPS", 184, 40), &QToolButton::clicked, this,
          [this] { IPSClick(); });
}

void TForm1::BuildRomInfo() {
  auto* group = new QGroupBox(QStringLiteral("ROM Info"), this);
  group->setObjectName(QStringLiteral("ROMInfo"));
  group->setGeometry(288, 8, 249, 249);

  QFont bold = font();
  bold.setBold(true);
  std::size_t valueIndex = 0;
  int y = 16;
  for (const InfoRow& row : kInfoRows) {
    auto* caption = new QLabel(QString::fromLatin1(row.caption), group);
    if (row.valueLabel == nullptr) {
      caption->setFont(bold);
      caption->move(8, y);
    } else {
      caption->move(16, y);
      auto* value = new QLabel(QString::fromLatin1(rom::kUnsetCaption), group);
      value->setObjectName(QString::fromLatin1(row.valueLabel));
      value->setGeometry(80, y, 161, 13);
      valueLabels_[valueIndex++] = value;
    }
    caption->adjustSize();
    y += 16;
  }
}

void TForm1::BuildStatusBar() {
  status_ = new StatusBar({270, 70, 70, 80}, this);
  status_->setObjectName(QStringLiteral("Status"));
  status_->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
  QFont barFont = WindowFont();
  // Plain pixels in exactly the card colours, as the bitmap font drew them.
  barFont.setStyleStrategy(QFont::NoAntialias);
  status_->setFont(barFont);
  QPalette palette = status_->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  status_->setPalette(palette);
  status_->SetPanelText(kTotalSizePanel, QStringLiteral("Total size"));
  status_->SetPanelText(kStrippedSizePanel, QStringLiteral("Stripped size"));
  status_->SetPanelText(kFreeSpacePanel, QStringLiteral("Free space"));
  status_->SetDrawPanel([this](QPainter& painter, int panel, const QRect& rect) {
    StatusDrawPanel(painter, panel, rect);
  });
}

}  // namespace velwin::mainwindow

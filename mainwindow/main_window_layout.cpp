#include "mainwindow/main_window_layout.h"

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>

#include "mainwindow/button_glyphs.h"
#include "mainwindow/status_bar.h"
#include "mainwindow/status_panels.h"
#include "rom/rom_info_labels.h"

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

QToolButton* AddSpeedButton(QWidget* parent, const char* name, int x, int y) {
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

void BuildRomsGroup(QWidget& window, MainWindowControls& controls) {
  auto* group = new QGroupBox(QStringLiteral("ROM files list"), &window);
  group->setObjectName(QStringLiteral("RomsGroup"));
  group->setGeometry(8, 8, 273, 249);

  // The group's client area: inside its frame, below its caption.
  const int inset = 2;
  const int captionTop = 15;
  const int clientWidth = group->width() - 2 * inset;
  const int controlsTop = group->height() - inset - 71;

  auto* buttons = new QWidget(group);
  buttons->setObjectName(QStringLiteral("ROMsCtrl"));
  buttons->setGeometry(inset, controlsTop, clientWidth, 71);

  auto* list = new QListWidget(group);
  list->setObjectName(QStringLiteral("ROMsList"));
  list->setGeometry(inset, captionTop, clientWidth, controlsTop - captionTop);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setUniformItemSizes(true);
  list->setDragDropMode(QAbstractItemView::NoDragDrop);
  list->setAcceptDrops(true);
  list->viewport()->setAcceptDrops(true);
  controls.romsList = list;

  controls.addRoms = AddSpeedButton(buttons, "AddROMs", 8, 8);
  controls.removeRoms = AddSpeedButton(buttons, "RemoveROMs", 96, 8);
  controls.clearRoms = AddSpeedButton(buttons, "ClearROMs", 184, 8);
  controls.veltra = AddSpeedButton(buttons, "VELTRA", 8, 40);
  controls.sramButton = AddSpeedButton(buttons, "SRAMButton", 96, 40);
  controls.ips = AddSpeedButton(buttons, "IPS", 184, 40);
}

void BuildRomInfo(QWidget& window, MainWindowControls& controls) {
  auto* group = new QGroupBox(QStringLiteral("ROM Info"), &window);
  group->setObjectName(QStringLiteral("ROMInfo"));
  group->setGeometry(288, 8, 249, 249);

  QFont bold = window.font();
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
      controls.valueLabels[valueIndex++] = value;
    }
    caption->adjustSize();
    y += 16;
  }
}

void BuildStatusBar(QWidget& window, MainWindowControls& controls) {
  auto* status = new StatusBar({270, 70, 70, 80}, &window);
  status->setObjectName(QStringLiteral("Status"));
  status->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
  QFont barFont = WindowFont();
  // Plain pixels in exactly the card colours, as the bitmap font drew them.
  barFont.setStyleStrategy(QFont::NoAntialias);
  status->setFont(barFont);
  QPalette palette = status->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  status->setPalette(palette);
  status->SetPanelText(kTotalSizePanel, QStringLiteral("Total size"));
  status->SetPanelText(kStrippedSizePanel, QStringLiteral("Stripped size"));
  status->SetPanelText(kFreeSpacePanel, QStringLiteral("Free space"));
  // The panels show bare numbers; the tips say what each one counts.
  status->SetPanelToolTip(kTotalSizePanel,
                          QStringLiteral("Total size: the sizes of the listed ROM files added up, "
                                         "in bytes"));
  status->SetPanelToolTip(
      kStrippedSizePanel,
      QStringLiteral("Stripped size: the bytes the listed ROMs take on a card,\n"
                     "each without its trailing filler, in whole blocks of "
                     "32768 bytes.\nIts colour names the smallest card that "
                     "holds them:\ngreen 4 Mbit, yellow 16 Mbit, blue 64 "
                     "Mbit, red none"));
  status->SetPanelToolTip(kFreeSpacePanel,
                          QStringLiteral("Free space: the bytes left on the card named beside it\n"
                                         "(which keeps 32768 bytes for itself);\nwith \"no fit\", "
                                         "the bytes by which the 64 Mbit card is exceeded"));
  controls.status = status;
}

}  // namespace

MainWindowControls BuildMainWindowControls(QWidget& window) {
  window.setObjectName(QStringLiteral("Form1"));
  window.setWindowTitle(QString::fromLatin1(kMainWindowCaption));
  // A fixed single border: a system menu and a minimise box, no maximise.
  window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  window.setFixedSize(kClientWidth, kClientHeight);
  window.setFont(WindowFont());

  MainWindowControls controls;
  BuildRomsGroup(window, controls);
  BuildRomInfo(window, controls);
  BuildStatusBar(window, controls);
  return controls;
}

}  // namespace velwin::mainwindow

// The IPS command of the main window: patches the selected ROM file in
// place and keeps the totals and the labels in step with it.
#include <QFileInfo>
#include <QListWidget>

#include "encoding/windows1252.h"
#include "gui/file_dialog.h"
#include "ips/ips_patch.h"
#include "mainwindow/display_text.h"
#include "mainwindow/file_name_directory.h"
#include "mainwindow/velwinmain.h"
#include "rom/database_lookup.h"

namespace velwin::mainwindow {
namespace {

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

}  // namespace

void TForm1::IPSClick() {
  RunHandler([this] {
    const QList<QListWidgetItem*> selected = romsList_->selectedItems();
    if (selected.isEmpty()) {
      Status().SetText(" First select one ROM from list !");
      return;
    }
    if (selected.size() > 1) {
      Status().SetText(" Please select SINGLE ROM from list !");
      return;
    }
    const QString romPath = selected.front()->text();
    const std::string romName = EightBitText(QFileInfo(romPath).fileName());
    Status().SetText(" Selecting IPS file for " + Quoted(romName));
    Status().RepaintNow();

    gui::FileDialogRequest request;
    request.kind = gui::FileDialogRequest::Kind::kOpenOne;
    request.title = QStringLiteral("Select IPS file to patch ") + DisplayText(Quoted(romName));
    request.initialDirectory = DialogStartFolder(ipsDialogFileName_, ipsDialogDirectory_);
    request.filters = {QStringLiteral("IPS files (*.ips)"), QStringLiteral("All files (*.*)")};
    request.fileMustExist = true;
    request.pathMustExist = true;
    const QStringList chosen = deps_.fileDialogs.Run(this, request);
    if (chosen.isEmpty()) {
      Status().SetText(" Patching " + Quoted(romName) + " aborted.");
      return;
    }
    ipsDialogFileName_ = chosen.first();
    PatchRom(romPath, chosen.first());
  });
}

void TForm1::PatchRom(const QString& romPath, const QString& ipsPath) {
  const std::string rom = NativePath(romPath);
  // The ROM leaves the totals with the sizes it has now and comes back with
  // the sizes the patch gives it.
  totals_.Subtract(analyser_.AnalyseRomFile(rom, false));
  std::string result;
  try {
    result = ips::ApplyIpsPatch(NativePath(ipsPath), rom);
  } catch (...) {
    // Records written before the failure stay written: count the ROM back
    // in as it now is, so the totals still cover every listed file.
    totals_.Add(analyser_.AnalyseRomFile(rom, false));
    TotalsChanged();
    throw;
  }
  // The result names the ROM file as the file system spells it.
  // Built by appending: GCC 12 warns falsely (-Wrestrict) about " " + text.
  std::string text(1, ' ');
  Status().SetText(text.append(encoding::Utf8ToWindows1252(result)));
  totals_.Add(analyser_.AnalyseRomFile(rom, false));
  TotalsChanged();
  rom::LookupDatabase(labels_, Status(), deps_.baseDirectory);
}

}  // namespace velwin::mainwindow

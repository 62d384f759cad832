#pragma once

#include <QString>

class QWidget;

namespace velwin::gui {

// The application title: the title of every message box. It is kept apart
// from QGuiApplication::applicationDisplayName(), which X11 platforms append
// to every window caption.
inline constexpr const char* kApplicationTitle = "PALDUR DarURU";
inline QString ApplicationTitle() {
  return QString::fromLatin1(kApplicationTitle);
}

// A question with Yes and No, No the default; whether Yes was chosen.
bool AskYesNo(QWidget* parent, const QString& question);

// The standard error box: the application title, the text and OK. Reached
// through this interface so tests can see what would have been shown.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
};

class NativeMessageBoxes : public MessageBoxes {
 public:
  void ShowError(QWidget* parent, const QString& text) override;
};

}  // namespace velwin::gui

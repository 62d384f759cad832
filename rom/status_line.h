#pragma once

#include <string>

namespace velwin::rom {

// Status panel 0 of the main window: the one-line message panel. Texts are
// 8-bit (Windows-1252) like the labels.
class StatusLine {
 public:
  virtual ~StatusLine() = default;

  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
  // Paints the status bar now, so a message shows while a long operation is
  // still running.
  virtual void RepaintNow() = 0;
};

// A status line that only remembers its text, for the command-line tool and
// for tests.
class MemoryStatusLine : public StatusLine {
 public:
  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }
  void RepaintNow() override { ++repaints_; }

  int Repaints() const { return repaints_; }

 private:
  std::string text_;
  int repaints_ = 0;
};

}  // namespace velwin::rom

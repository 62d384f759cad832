#pragma once

#include <QIcon>

namespace velwin::mainwindow {

// The 16 x 16 pictures beside the captions of the six speed buttons, drawn
// here so the program ships no image files.
enum class Glyph { kAdd, kRemove, kClear, kFlash, kSram, kPatch };

QIcon ButtonGlyph(Glyph glyph);

}  // namespace velwin::mainwindow

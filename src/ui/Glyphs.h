#pragma once
// The glyphs of the run buttons, drawn by the program so that they stay
// crisp at any scale and need no image files.
#include <QIcon>

namespace velgard::ui {

enum class tGlyph { Start, Reset, Pause, Stop };

// A 22 x 22 icon; Qt derives the greyed state of a disabled button from it.
QIcon GlyphIcon(tGlyph glyph);
// The program's own icon (a small Korvet monitor), for windows.
QIcon ProgramIcon();

}  // namespace velgard::ui

#pragma once
// The two pictures of the Korvet keyboard (467 x 151): every key released
// and every key pressed. They are drawn with QPainter from the key table's
// rectangles, so they stay crisp and need no image files. Outside the keys
// both pictures hold the transparent colour (the colour of the bottom-left
// pixel), which no key uses; every key keeps its outline the same in both
// pictures, so copying one key's rectangle never changes a neighbour.
#include <QImage>
#include <QRect>
#include <QRgb>
#include <vector>

#include "machine/KorvetKeyboard.h"

namespace velgard::ui {

struct tKeyboardPictures {
    // The background of both pictures, shown transparent.
    static constexpr QRgb kTransparent = 0xFFFF00FFu;
    // The second area of ENTER, drawn with it.
    static constexpr QRect kEnterExtension{347, 75, 28, 25};  // (347, 75)-(375, 100)

    QImage Up;    // every key released
    QImage Down;  // every key pressed

    // Draws both pictures for the keys of `table`.
    static tKeyboardPictures Draw(const tKorvetKeyboard& table);
    // One picture: every key released, or every key pressed.
    static QImage DrawPicture(const tKorvetKeyboard& table, bool pressed);

    // The picture areas of the key at (row, column): its rectangle, and for
    // ENTER also the extension. Empty for a position that is not a key.
    static std::vector<QRect> KeyAreas(const tKorvetKeyboard& table, int row, int column);
};

}  // namespace velgard::ui

#include "ui/KeyboardPictures.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QString>

namespace velgard::ui {

namespace {

// How a key's legend is laid out.
enum class tLegendKind {
    None,      // the space bar
    Letter,    // Cyrillic letter (large, top left) and Latin legend (small, bottom right)
    Pair,      // shifted symbol (top left) and plain symbol (bottom right)
    Name,      // a word in the middle
    Keypad,    // digit (top left) and a symbol (bottom right)
    Function,  // two function key names, one above the other
    Symbol,    // a symbol in the middle
};

enum class tSymbol {
    None,
    HollowLeft,    // ⇦
    HollowRight,   // ⇨
    TriangleUp,    // ▲
    TriangleDown,  // ▼
    TriangleLeft,  // ◀
    TriangleRight, // ▶
    UpLeft,        // ↖
    UpRight,       // ↗
    LeftToBar,     // ⟵|
    RightToBar,    // →|
    Menu,          // ≡
};

struct tLegend {
    tLegendKind Kind = tLegendKind::None;
    QString First;   // the main (or upper) text
    QString Second;  // the second (or lower) text
    tSymbol Symbol = tSymbol::None;
};

// The Cyrillic legends of the letter keys, rows 0-3 in key order.
const QString kCyrillic = QStringLiteral("ЮАБЦДЕФГХИЙКЛМНОПЯРСТУЖВЬЫЗШЭЩЧЪ");
// Rows 4 and 5: the plain and the shifted legend.
const QString kPlain = QStringLiteral("0123456789:;,-./");
const QString kShifted = QStringLiteral(" !\"#¤%&'()*+<=>?");

tLegend LegendOf(int row, int column) {
    const int index = row * tKorvetKeyboard::kColumns + column;
    if (row < 4) {
        return {tLegendKind::Letter, kCyrillic.mid(index, 1), QString(QChar(0x40 + index)), tSymbol::None};
    }
    if (row < 6) {
        const int i = index - 32;
        const QString shifted = kShifted[i] == u' ' ? QString() : QString(kShifted[i]);
        return {tLegendKind::Pair, shifted, QString(kPlain[i]), tSymbol::None};
    }
    auto name = [](const char16_t* text) { return tLegend{tLegendKind::Name, QString::fromUtf16(text), {}, {}}; };
    auto keypad = [](const char* digit, tSymbol symbol) {
        return tLegend{tLegendKind::Keypad, QString::fromLatin1(digit), {}, symbol};
    };
    switch (index) {
        case 48: return name(u"ENTER");
        case 49: return name(u"CLS");
        case 50: return name(u"СТОП");
        case 51: return name(u"DEL");
        case 52: return name(u"INS");
        case 53: return {tLegendKind::Symbol, {}, {}, tSymbol::HollowLeft};
        case 54: return name(u"TAB");
        case 55: return {};
        case 56: return name(u"SHIFT");
        case 57: return name(u"АЛФ");
        case 58: return name(u"ГРФ");
        case 59: return name(u"ESC");
        case 60: return name(u"СЕЛ");
        case 61: return name(u"CTRL");
        case 62: return name(u"ФИКС");
        case 63: return name(u"SHIFT");
        case 64: return keypad("0", tSymbol::LeftToBar);
        case 65: return keypad("1", tSymbol::HollowLeft);
        case 66: return keypad("2", tSymbol::TriangleDown);
        case 67: return keypad("3", tSymbol::HollowRight);
        case 68: return keypad("4", tSymbol::TriangleLeft);
        case 69: return keypad("5", tSymbol::Menu);
        case 70: return keypad("6", tSymbol::TriangleRight);
        case 71: return keypad("7", tSymbol::UpLeft);
        case 72: return keypad("8", tSymbol::TriangleUp);
        case 73: return keypad("9", tSymbol::UpRight);
        case 78: return keypad(".", tSymbol::RightToBar);
        default: break;
    }
    if (row == 10) {
        return {tLegendKind::Function, QStringLiteral("F%1").arg(column + 1), QStringLiteral("F%1").arg(column + 6),
                tSymbol::None};
    }
    return {};
}

// The colours of a key in one of its two states.
struct tKeyColours {
    QColor Face, Light, Dark, Text, SecondText;
};

constexpr QRgb kOutline = 0xFF101012u;

// Character keys are charcoal, the control keys slate; pressed keys are
// darker, with the shadow on the top and left edges.
tKeyColours ColoursOf(int row, bool pressed) {
    const bool character = row < 6;
    const QColor face = character ? QColor(50, 52, 56) : QColor(56, 64, 78);
    if (!pressed) return {face, face.lighter(165), face.darker(160), QColor(242, 242, 236), QColor(200, 214, 232)};
    const QColor sunk = face.darker(175);
    return {sunk, sunk.lighter(140), QColor(6, 6, 8), QColor(184, 184, 176), QColor(140, 152, 170)};
}

// The pixels of `region` whose eight neighbours all belong to it.
QRegion Erode(const QRegion& region) {
    QRegion out = region;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx || dy) out &= region.translated(dx, dy);
    return out;
}

// The pixels of `region` on its top and left edges.
QRegion TopLeftEdge(const QRegion& region) {
    return region - (region.translated(0, 1) & region.translated(1, 0));
}

// The pixels of `region` on its bottom and right edges.
QRegion BottomRightEdge(const QRegion& region) {
    return region - (region.translated(0, -1) & region.translated(-1, 0));
}

void Fill(QPainter& p, const QRegion& region, const QColor& colour) {
    for (const QRect& r : region) p.fillRect(r, colour);
}

QFont LegendFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// Draws `text` in `box` with `flags`, shrinking the font until it fits.
void DrawFitted(QPainter& p, const QRect& box, int flags, const QString& text, int pixelSize, bool bold) {
    QFont font = LegendFont(pixelSize, bold);
    while (pixelSize > 6 && QFontMetrics(font).horizontalAdvance(text) > box.width()) {
        font.setPixelSize(--pixelSize);
    }
    p.setFont(font);
    p.drawText(box, flags, text);
}

void DrawSymbol(QPainter& p, tSymbol symbol, const QRectF& box, const QColor& colour) {
    auto at = [&](double x, double y) { return QPointF(box.left() + x * box.width(), box.top() + y * box.height()); };
    auto polygon = [&](std::initializer_list<std::pair<double, double>> points) {
        QPolygonF poly;
        for (const auto& [x, y] : points) poly << at(x, y);
        return poly;
    };
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(colour, 1.3);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (symbol) {
        case tSymbol::None: break;
        case tSymbol::HollowLeft:
            p.drawPolygon(polygon({{0.05, 0.5}, {0.45, 0.1}, {0.45, 0.32}, {0.95, 0.32}, {0.95, 0.68},
                                   {0.45, 0.68}, {0.45, 0.9}}));
            break;
        case tSymbol::HollowRight:
            p.drawPolygon(polygon({{0.95, 0.5}, {0.55, 0.1}, {0.55, 0.32}, {0.05, 0.32}, {0.05, 0.68},
                                   {0.55, 0.68}, {0.55, 0.9}}));
            break;
        case tSymbol::TriangleUp:
        case tSymbol::TriangleDown:
        case tSymbol::TriangleLeft:
        case tSymbol::TriangleRight:
            p.setBrush(colour);
            if (symbol == tSymbol::TriangleUp) p.drawPolygon(polygon({{0.15, 0.8}, {0.85, 0.8}, {0.5, 0.2}}));
            if (symbol == tSymbol::TriangleDown) p.drawPolygon(polygon({{0.15, 0.2}, {0.85, 0.2}, {0.5, 0.8}}));
            if (symbol == tSymbol::TriangleLeft) p.drawPolygon(polygon({{0.8, 0.15}, {0.8, 0.85}, {0.2, 0.5}}));
            if (symbol == tSymbol::TriangleRight) p.drawPolygon(polygon({{0.2, 0.15}, {0.2, 0.85}, {0.8, 0.5}}));
            break;
        case tSymbol::UpLeft:
            p.drawLine(at(0.85, 0.9), at(0.2, 0.15));
            p.drawPolyline(polygon({{0.6, 0.15}, {0.2, 0.15}, {0.2, 0.6}}));
            break;
        case tSymbol::UpRight:
            p.drawLine(at(0.15, 0.9), at(0.8, 0.15));
            p.drawPolyline(polygon({{0.4, 0.15}, {0.8, 0.15}, {0.8, 0.6}}));
            break;
        case tSymbol::LeftToBar:
            p.drawLine(at(0.05, 0.5), at(0.8, 0.5));
            p.drawPolyline(polygon({{0.35, 0.15}, {0.05, 0.5}, {0.35, 0.85}}));
            p.drawLine(at(0.92, 0.15), at(0.92, 0.85));
            break;
        case tSymbol::RightToBar:
            p.drawLine(at(0.05, 0.5), at(0.8, 0.5));
            p.drawPolyline(polygon({{0.5, 0.15}, {0.8, 0.5}, {0.5, 0.85}}));
            p.drawLine(at(0.92, 0.15), at(0.92, 0.85));
            break;
        case tSymbol::Menu:
            for (double y : {0.2, 0.5, 0.8}) p.drawLine(at(0.1, y), at(0.9, y));
            break;
    }
    p.restore();
}

void DrawLegend(QPainter& p, const tLegend& legend, const QRect& key, const tKeyColours& colours) {
    const QRect inner = key.adjusted(4, 3, -4, -3);
    p.setPen(colours.Text);
    switch (legend.Kind) {
        case tLegendKind::None: break;
        case tLegendKind::Letter:
            DrawFitted(p, inner, Qt::AlignLeft | Qt::AlignTop, legend.First, 12, true);
            p.setPen(colours.SecondText);
            DrawFitted(p, inner.adjusted(0, 0, 1, 1), Qt::AlignRight | Qt::AlignBottom, legend.Second, 9, false);
            break;
        case tLegendKind::Pair:
            if (!legend.First.isEmpty()) DrawFitted(p, inner, Qt::AlignLeft | Qt::AlignTop, legend.First, 10, true);
            DrawFitted(p, inner.adjusted(0, 0, 1, 1), Qt::AlignRight | Qt::AlignBottom, legend.Second, 10, true);
            break;
        case tLegendKind::Name:
            DrawFitted(p, key.adjusted(2, 3, -2, -3), Qt::AlignCenter, legend.First, 8, true);
            break;
        case tLegendKind::Function:
            DrawFitted(p, inner, Qt::AlignHCenter | Qt::AlignTop, legend.First, 8, true);
            p.setPen(colours.SecondText);
            DrawFitted(p, inner.adjusted(0, 0, 0, 1), Qt::AlignHCenter | Qt::AlignBottom, legend.Second, 8, true);
            break;
        case tLegendKind::Keypad: {
            DrawFitted(p, inner, Qt::AlignLeft | Qt::AlignTop, legend.First, 9, true);
            const QRectF box(inner.right() - 11.5, inner.bottom() - 9.5, 12, 10);
            DrawSymbol(p, legend.Symbol, box, colours.SecondText);
            break;
        }
        case tLegendKind::Symbol: {
            const QRectF box(key.center().x() - 7.5, key.center().y() - 5.5, 16, 12);
            DrawSymbol(p, legend.Symbol, box, colours.Text);
            break;
        }
    }
}

void DrawKey(QPainter& p, const std::vector<QRect>& areas, int row, int column, bool pressed) {
    QRegion shape;
    for (const QRect& r : areas) shape += r;
    const tKeyColours colours = ColoursOf(row, pressed);
    // The outline ring is the same in both pictures; everything inside it
    // shows the key's state.
    Fill(p, shape, QColor::fromRgb(kOutline));
    const QRegion body = Erode(shape);
    const QRegion inner = Erode(body);
    Fill(p, body, colours.Face);
    const QColor& topLeft = pressed ? colours.Dark : colours.Light;
    const QColor& bottomRight = pressed ? colours.Light : colours.Dark;
    Fill(p, BottomRightEdge(body), bottomRight);
    if (!pressed) Fill(p, BottomRightEdge(inner), bottomRight);
    Fill(p, TopLeftEdge(body), topLeft);
    Fill(p, TopLeftEdge(inner), topLeft);

    p.save();
    p.setClipRegion(body);
    if (pressed) p.translate(1, 1);
    DrawLegend(p, LegendOf(row, column), areas.front(), colours);
    p.restore();
}

}  // namespace

std::vector<QRect> tKeyboardPictures::KeyAreas(const tKorvetKeyboard& table, int row, int column) {
    const tKorvetKeyEntry& e = table.Entry(row, column);
    if (e.Width == 0) return {};
    std::vector<QRect> areas{QRect(e.Left, e.Top, e.Width, e.Height)};
    if (tKorvetKeyPos{row, column} == tKorvetKeyboard::kEnter) areas.push_back(kEnterExtension);
    return areas;
}

QImage tKeyboardPictures::DrawPicture(const tKorvetKeyboard& table, bool pressed) {
    QImage image(tKorvetKeyboard::kPictureWidth, tKorvetKeyboard::kPictureHeight, QImage::Format_RGB32);
    image.fill(kTransparent);
    QPainter p(&image);
    for (int row = 0; row < tKorvetKeyboard::kRows; ++row) {
        for (int column = 0; column < tKorvetKeyboard::kColumns; ++column) {
            const auto areas = KeyAreas(table, row, column);
            if (!areas.empty()) DrawKey(p, areas, row, column, pressed);
        }
    }
    return image;
}

tKeyboardPictures tKeyboardPictures::Draw(const tKorvetKeyboard& table) {
    return {DrawPicture(table, false), DrawPicture(table, true)};
}

}  // namespace velgard::ui

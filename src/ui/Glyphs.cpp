#include "ui/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velgard::ui {

namespace {

QPixmap Canvas(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QIcon GlyphIcon(tGlyph glyph) {
    QIcon icon;
    for (int size : {22, 44}) {
        QPixmap pixmap = Canvas(size);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 22.0, size / 22.0);
        switch (glyph) {
            case tGlyph::Start: {
                QPainterPath path;
                path.moveTo(6, 4);
                path.lineTo(18, 11);
                path.lineTo(6, 18);
                path.closeSubpath();
                p.fillPath(path, QColor(0x1f, 0x8f, 0x2f));
                p.setPen(QPen(QColor(0x0f, 0x4f, 0x1a), 1));
                p.drawPath(path);
                break;
            }
            case tGlyph::Reset: {
                p.setPen(QPen(QColor(0xb0, 0x60, 0x10), 2.5, Qt::SolidLine, Qt::RoundCap));
                p.drawArc(QRectF(4, 4, 14, 14), 100 * 16, 290 * 16);
                QPainterPath head;
                head.moveTo(9.5, 1.5);
                head.lineTo(14.5, 4.5);
                head.lineTo(9.5, 8.0);
                head.closeSubpath();
                p.fillPath(head, QColor(0xb0, 0x60, 0x10));
                break;
            }
            case tGlyph::Pause:
                p.fillRect(QRectF(5, 4, 4, 14), QColor(0x20, 0x40, 0xa0));
                p.fillRect(QRectF(13, 4, 4, 14), QColor(0x20, 0x40, 0xa0));
                break;
            case tGlyph::Stop:
                p.fillRect(QRectF(5, 5, 12, 12), QColor(0xb0, 0x18, 0x18));
                break;
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pixmap = Canvas(size);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xd8, 0xd0, 0xb8));
        p.drawRoundedRect(QRectF(2, 3, 28, 22), 3, 3);
        p.setBrush(QColor(0x10, 0x18, 0x30));
        p.drawRect(QRectF(5, 6, 22, 15));
        p.setBrush(QColor(0x40, 0xe0, 0x60));
        p.drawRect(QRectF(7, 9, 10, 2));
        p.drawRect(QRectF(7, 13, 14, 2));
        p.setBrush(QColor(0x70, 0x68, 0x58));
        p.drawRect(QRectF(8, 26, 16, 4));
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace velgard::ui

#include "ui/KeyboardView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

namespace velgard::ui {

namespace {

// Copies `area` of `source` into `target`, the transparent colour becoming
// fully transparent.
void CopyKeyed(const QImage& source, QImage& target, const QRect& area) {
    const QRect r = area & source.rect() & target.rect();
    const QRgb transparent = source.pixel(0, source.height() - 1);  // the bottom-left pixel
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(target.scanLine(y));
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = in[x] | 0xFF000000u;
            out[x] = c == (transparent | 0xFF000000u) ? 0u : c;
        }
    }
}

}  // namespace

TKeyboardView::TKeyboardView(tKorvetKeyboard& keyboard, QWidget* parent)
    : QWidget(parent), keyboard_(keyboard), pictures_(tKeyboardPictures::Draw(keyboard)) {
    setObjectName(QStringLiteral("KeyboardImage"));
    setFixedSize(kWidth, kHeight);
    // Keys typed on the PC keyboard belong to the main window, not to the
    // picture that was clicked.
    setFocusPolicy(Qt::NoFocus);
    Rebuild();
    keyboard_.SetKeyChangedHandler([this](int row, int column, bool down) { DrawKey(row, column, down); });
    keyboard_.SetRedrawHandler([this] {
        Rebuild();
        update();
    });
}

TKeyboardView::~TKeyboardView() {
    keyboard_.SetKeyChangedHandler(nullptr);
    keyboard_.SetRedrawHandler(nullptr);
}

void TKeyboardView::Rebuild() {
    working_ = QImage(pictures_.Up.size(), QImage::Format_ARGB32);
    CopyKeyed(pictures_.Up, working_, working_.rect());
    for (int row = 0; row < tKorvetKeyboard::kRows; ++row) {
        for (int column = 0; column < tKorvetKeyboard::kColumns; ++column) {
            if (!keyboard_.IsPressed(row, column)) continue;
            for (const QRect& area : tKeyboardPictures::KeyAreas(keyboard_, row, column))
                CopyKeyed(pictures_.Down, working_, area);
        }
    }
}

void TKeyboardView::DrawKey(int row, int column, bool down) {
    for (const QRect& area : tKeyboardPictures::KeyAreas(keyboard_, row, column)) {
        CopyKeyed(down ? pictures_.Down : pictures_.Up, working_, area);
        update(area.translated(kPictureOffset));
    }
}

void TKeyboardView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect dirty = event->rect().translated(-kPictureOffset) & working_.rect();
    if (!dirty.isEmpty()) p.drawImage(dirty.topLeft() + kPictureOffset, working_, dirty);
}

void TKeyboardView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPointF pos = event->position();
    keyboard_.MouseDownAt(static_cast<int>(std::floor(pos.x())) - kPictureOffset.x(),
                          static_cast<int>(std::floor(pos.y())) - kPictureOffset.y());
}

void TKeyboardView::mouseReleaseEvent(QMouseEvent* event) {
    // The mouse key is let go wherever the pointer is now.
    if (event->button() == Qt::LeftButton) keyboard_.MouseUp();
}

}  // namespace velgard::ui

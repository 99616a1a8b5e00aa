#include "ui/DriveBox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <array>

namespace velgard::ui {

namespace {

const QColor kBodyColour(0xC4, 0xC2, 0xB8);
const QColor kBodyLight(0xEC, 0xEA, 0xE2);
const QColor kBodyDark(0x58, 0x56, 0x50);
const QColor kSlotColour(0x1C, 0x1C, 0x1C);
const QColor kDiskLabel(0xE8, 0xDC, 0xB0);
const QColor kLeverColour(0x4A, 0x4A, 0x4A);
const QColor kLeverLight(0x9A, 0x9A, 0x9A);
const QColor kLampGreen(0x20, 0xE0, 0x30);
const QColor kLampRed(0xF0, 0x28, 0x20);
const QColor kLampDark(0x38, 0x3A, 0x34);

// Slot of the drive door, across the middle of the front.
constexpr int kSlotLeft = 9, kSlotRight = 40, kSlotTop = 6, kSlotBottom = 8;

void DrawBody(QImage& image) {
    QPainter p(&image);
    p.fillRect(0, 0, TDriveBox::kWidth, TDriveBox::kHeight, kBodyColour);
    // Raised edge: light top and left, dark bottom and right.
    p.setPen(kBodyLight);
    p.drawLine(0, 0, TDriveBox::kWidth - 2, 0);
    p.drawLine(0, 0, 0, TDriveBox::kHeight - 2);
    p.setPen(kBodyDark);
    p.drawLine(0, TDriveBox::kHeight - 1, TDriveBox::kWidth - 1, TDriveBox::kHeight - 1);
    p.drawLine(TDriveBox::kWidth - 1, 0, TDriveBox::kWidth - 1, TDriveBox::kHeight - 1);
    p.end();
    // Rounded corners stay transparent.
    for (const auto& [x, y] : std::array<std::pair<int, int>, 4>{
             {{0, 0}, {TDriveBox::kWidth - 1, 0}, {0, TDriveBox::kHeight - 1},
              {TDriveBox::kWidth - 1, TDriveBox::kHeight - 1}}}) {
        image.setPixelColor(x, y, Qt::transparent);
    }
}

void DrawSlot(QImage& image, bool disk) {
    QPainter p(&image);
    p.fillRect(QRect(QPoint(kSlotLeft, kSlotTop), QPoint(kSlotRight, kSlotBottom)), kSlotColour);
    if (disk) {
        // The edge of the inserted disk's jacket with its label.
        p.fillRect(QRect(QPoint(kSlotLeft + 2, kSlotTop + 1), QPoint(kSlotRight - 2, kSlotTop + 1)), kDiskLabel);
    }
}

void DrawLever(QImage& image, bool closed) {
    QPainter p(&image);
    const int mid = (kSlotLeft + kSlotRight) / 2;
    if (closed) {
        // Turned across the slot.
        p.fillRect(QRect(QPoint(mid - 2, 2), QPoint(mid + 2, 13)), kLeverColour);
        p.setPen(kLeverLight);
        p.drawLine(mid - 2, 2, mid - 2, 13);
    } else {
        // Turned along the slot, below it: the door is open.
        p.fillRect(QRect(QPoint(mid - 8, 10), QPoint(mid + 8, 13)), kLeverColour);
        p.setPen(kLeverLight);
        p.drawLine(mid - 8, 10, mid + 8, 10);
    }
}

void DrawLamp(QImage& image, const QColor& colour) {
    QPainter p(&image);
    const QRect lamp = TDriveBox::LampRect();
    p.fillRect(lamp.adjusted(-1, -1, 1, 1), kBodyDark);
    p.fillRect(lamp, colour);
}

// 5 x 9 glyphs of the label pictures.
const char* const kGlyphA[9] = {".###.", "#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", "#...#"};
const char* const kGlyphB[9] = {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "#...#", "#...#", "####."};
const char* const kGlyphC[9] = {".###.", "#...#", "#....", "#....", "#....", "#....", "#....", "#...#", ".###."};
const char* const kGlyphD[9] = {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "#...#", "#...#", "####."};
const char* const kGlyphColon[9] = {"..", "..", "##", "##", "..", "..", "##", "##", ".."};

void DrawGlyph(QImage& image, const char* const glyph[9], int left, int top, const QColor& colour) {
    for (int y = 0; y < 9; ++y)
        for (int x = 0; glyph[y][x] != '\0'; ++x)
            if (glyph[y][x] == '#') image.setPixelColor(left + x, top + y, colour);
}

}  // namespace

QRect TDriveBox::LampRect() { return {3, 10, 4, 3}; }

QImage TDriveBox::Picture(int index) {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    if (index < 0 || index > 3) return image;
    const bool disk = index <= 1;
    const bool closed = index == 0 || index == 2;
    DrawBody(image);
    DrawSlot(image, disk);
    DrawLever(image, closed);
    DrawLamp(image, !disk ? kLampDark : closed ? kLampGreen : kLampRed);
    return image;
}

QImage TDriveBox::LabelPicture(bool cd) {
    QImage image(kLabelWidth, kLabelHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const QColor ink(0x10, 0x10, 0x10);
    DrawGlyph(image, cd ? kGlyphC : kGlyphA, 2, 2, ink);
    DrawGlyph(image, cd ? kGlyphD : kGlyphB, 9, 2, ink);
    DrawGlyph(image, kGlyphColon, 16, 2, ink);
    return image;
}

QStringList LocalFilesOf(const QMimeData* mime) {
    QStringList files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

TDriveBox::TDriveBox(int drive, QWidget* parent) : QWidget(parent), drive_(drive) {
    setObjectName(QStringLiteral("Drive") + QChar(u'A' + (drive & 3)));
    setFixedSize(kWidth, kHeight);
    setCursor(Qt::PointingHandCursor);
    setAcceptDrops(true);
}

void TDriveBox::SetState(bool hasImage, bool latchClosed) {
    if (hasImage == hasImage_ && latchClosed == latchClosed_) return;
    hasImage_ = hasImage;
    latchClosed_ = latchClosed;
    update();
}

void TDriveBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.drawImage(0, 0, Picture(CurrentPicture()));
}

void TDriveBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit latchToggleRequested();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TDriveBox::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second right click arrives as a press as well, which already
    // toggled the door; only the left button has a double-click action.
    if (event->button() == Qt::LeftButton) {
        emit loadRequested((event->modifiers() & Qt::ControlModifier) != 0);
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void TDriveBox::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFilesOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TDriveBox::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalFilesOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TDriveBox::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFilesOf(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    emit imagesDropped(files);
}

}  // namespace velgard::ui

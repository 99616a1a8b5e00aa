#include "ui/ScreenCanvas.h"
#include "ui/DriveBox.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace velgard::ui {

namespace {
constexpr int kFrameWidth = 512;
constexpr int kFrameHeight = 256;
}  // namespace

QRect ScreenRect(int panelWidth, int panelHeight) {
    const double scale = std::min((panelWidth - 6) / 512.0, (panelHeight - 6) / 256.0);
    int width = static_cast<int>(std::lround(scale * 512.0));
    int height = static_cast<int>(std::lround(scale * 256.0));
    if (width <= 520) width = 512;
    if (height <= 264) height = 256;
    return QRect(panelWidth / 2 - width / 2, panelHeight / 2 - height / 2, width, height);
}

TScreenWidget::TScreenWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("KorvetScreen");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::PointingHandCursor);
    setAcceptDrops(true);
    setMinimumSize(kFrameWidth, kFrameHeight);
    resize(kFrameWidth, kFrameHeight);
}

void TScreenWidget::SetPicture(const tBMMImage32* picture) {
    if (picture_ == picture) return;
    picture_ = picture;
    update();
}

void TScreenWidget::Render(QPainter& painter) {
    if (!picture_ || picture_->Empty()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // The picture's pixels are 0xFFRRGGBB words: exactly QImage's RGB32.
    const QImage image(reinterpret_cast<const uchar*>(picture_->Pixels().data()), picture_->Width(),
                       picture_->Height(), picture_->Width() * 4, QImage::Format_RGB32);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), image);
}

void TScreenWidget::paintEvent(QPaintEvent*) {
    if (onPaint_ && !inPaint_) {
        inPaint_ = true;
        onPaint_();
        inPaint_ = false;
    }
    QPainter painter(this);
    Render(painter);
}

QImage TScreenWidget::Grab() {
    QImage image(size(), QImage::Format_RGB32);
    QPainter painter(&image);
    Render(painter);
    return image;
}

void TScreenWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}

void TScreenWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFilesOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TScreenWidget::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFilesOf(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    emit filesDropped(files);
}

bool TBMMGDICanvas2D::CreateSurface() {
    if (!Widget()) return false;
    image_.Resize(kFrameWidth, kFrameHeight);
    Widget()->SetPicture(&image_);
    return true;
}

void TBMMGDICanvas2D::ReleaseSurface() {
    if (TScreenWidget* widget = Widget(); widget && widget->Picture() == &image_) widget->SetPicture(nullptr);
}

bool TBMMGDICanvas2D::DrawBitmap(const tBMMDrawableBitmap& bitmap) {
    if (!Attached()) return false;
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0) return false;
    if (image_.Width() != bitmap.Width() || image_.Height() != bitmap.Height())
        image_.Resize(bitmap.Width(), bitmap.Height());
    const bool ok = bitmap.DrawToCanvas(image_, tBMMRect{0, 0, bitmap.Width() - 1, bitmap.Height() - 1},
                                        tBMMRect{0, 0, bitmap.Width() - 1, bitmap.Height() - 1});
    if (TScreenWidget* widget = Widget(); widget && !inRepaint_) {
        fresh_ = true;
        widget->SetPicture(&image_);
        widget->update();
    }
    return ok;
}

}  // namespace velgard::ui

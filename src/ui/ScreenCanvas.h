#pragma once
// The Korvet screen in the window. The machine loop and the repaint draw the
// shown page through the canvas TBMMGDICanvas2D, which converts it through
// its colour table into a 512 x 256 32-bit picture; the screen widget then
// stretches that picture over its whole area without smoothing.
#include <QRect>
#include <QWidget>
#include <functional>
#include <utility>

#include "graphics/BMMCanvas2D.h"

namespace velgard::ui {

// Where the screen sits in the centre panel of client size W x H: scaled by
// min((W - 6) / 512, (H - 6) / 256), each side snapping back to 512 or 256
// unless it grows by more than 8 pixels, centred.
QRect ScreenRect(int panelWidth, int panelHeight);

// The screen panel `KorvetScreen`: black while the machine is stopped.
class TScreenWidget final : public QWidget, public TBMMControl {
    Q_OBJECT
public:
    explicit TScreenWidget(QWidget* parent = nullptr);

    int Width() const override { return width(); }
    int Height() const override { return height(); }

    // The picture shown, or none (black). Not owned; must stay valid while
    // shown.
    void SetPicture(const tBMMImage32* picture);
    const tBMMImage32* Picture() const { return picture_; }
    // Called at the start of every repaint (the window's KorvetScreenPaint),
    // so the picture can be brought up to date first.
    void SetPaintHandler(std::function<void()> handler) { onPaint_ = std::move(handler); }
    // Renders what the widget shows into an image of its size.
    QImage Grab();

signals:
    void doubleClicked();
    void filesDropped(const QStringList& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Render(QPainter& painter);

    const tBMMImage32* picture_ = nullptr;
    std::function<void()> onPaint_;
    bool inPaint_ = false;
};

// The window canvas. DrawBitmap converts the frame at its own size (the
// screen widget does the stretching) and asks the widget to repaint.
class TBMMGDICanvas2D final : public TBMMCanvas2D {
public:
    TBMMGDICanvas2D() : TBMMCanvas2D(TBMMCanvasKind::GDI) {}
    ~TBMMGDICanvas2D() override { Reset(); }

    bool DrawBitmap(const tBMMDrawableBitmap& bitmap) override;
    const tBMMImage32& Image() const { return image_; }
    // While true, DrawBitmap does not ask for a repaint (it is called from
    // the repaint itself).
    void SetInRepaint(bool inRepaint) { inRepaint_ = inRepaint; }
    // True once after the loop drew a frame: the repaint that follows shows
    // that picture as it is instead of converting the page again.
    bool TakeFresh() { return std::exchange(fresh_, false); }

protected:
    tBMMImage32* Surface() override { return &image_; }
    bool CreateSurface() override;
    void ReleaseSurface() override;

private:
    TScreenWidget* Widget() const { return dynamic_cast<TScreenWidget*>(Control()); }
    tBMMImage32 image_;
    bool inRepaint_ = false;
    bool fresh_ = false;
};

}  // namespace velgard::ui

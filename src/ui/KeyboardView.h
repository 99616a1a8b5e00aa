#pragma once
// The picture of the Korvet keyboard in the main window (the paint box
// "KeyboardImage", 512 x 174): the working picture drawn at (21, 13) with
// its transparent colour, updated key by key as the key matrix changes, and
// left-button clicks on it pressing and releasing Korvet keys.
#include <QImage>
#include <QPoint>
#include <QWidget>

#include "machine/KorvetKeyboard.h"
#include "ui/KeyboardPictures.h"

namespace velgard::ui {

class TKeyboardView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 512;
    static constexpr int kHeight = 174;
    // Where the keyboard picture lies in the paint box.
    static constexpr QPoint kPictureOffset{21, 13};

    // Shows `keyboard` (which must outlive the view) and takes its change
    // and redraw handlers.
    explicit TKeyboardView(tKorvetKeyboard& keyboard, QWidget* parent = nullptr);
    ~TKeyboardView() override;
    TKeyboardView(const TKeyboardView&) = delete;
    TKeyboardView& operator=(const TKeyboardView&) = delete;

    // The picture as shown: released keys from the up picture, pressed keys
    // from the down picture, the background fully transparent.
    const QImage& WorkingPicture() const { return working_; }
    const tKeyboardPictures& Pictures() const { return pictures_; }

    QSize sizeHint() const override { return {kWidth, kHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Copies one key's areas from the down or up picture into the working
    // picture and repaints just them.
    void DrawKey(int row, int column, bool down);
    // The working picture anew from the up picture and the pressed keys.
    void Rebuild();

    tKorvetKeyboard& keyboard_;
    tKeyboardPictures pictures_;
    QImage working_;
};

}  // namespace velgard::ui

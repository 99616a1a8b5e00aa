#pragma once
// A drive of the top panel: a small picture of a 5.25" drive front with its
// lamp and door lever, drawn by the program. The owner (the main window)
// keeps it in step with the drive model and sets its tooltip; the box only
// reports what the user does with it.
#include <QImage>
#include <QStringList>
#include <QWidget>

class QMimeData;

namespace velgard::ui {

class TDriveBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 47;
    static constexpr int kHeight = 16;
    static constexpr int kLabelWidth = 21;
    static constexpr int kLabelHeight = 13;

    // The four pictures: 0 disk in, lever closed, green lamp; 1 disk in,
    // lever open, red lamp; 2 no disk, lever closed, dark lamp; 3 no disk,
    // lever open, dark lamp. The background is transparent.
    static QImage Picture(int index);
    static int PictureIndex(bool hasImage, bool latchClosed) {
        return (hasImage ? 1 : 3) - (latchClosed ? 1 : 0);
    }
    // Where the lamp is in every picture.
    static QRect LampRect();
    // The label pictures "AB:" (cd = false) and "CD:" put before the boxes.
    static QImage LabelPicture(bool cd);

    // `drive` is 0-3 for A-D; the box is named DriveA ... DriveD.
    explicit TDriveBox(int drive, QWidget* parent = nullptr);

    int Drive() const { return drive_; }
    bool HasImage() const { return hasImage_; }
    bool LatchClosed() const { return latchClosed_; }
    int CurrentPicture() const { return PictureIndex(hasImage_, latchClosed_); }
    // Repaints only when the state differs.
    void SetState(bool hasImage, bool latchClosed);

    QSize sizeHint() const override { return {kWidth, kHeight}; }

signals:
    // Right button: open or close the door.
    void latchToggleRequested();
    // Left double click; with Ctrl held the owner opens the disk manager.
    void loadRequested(bool ctrlHeld);
    // Local files dropped on the box.
    void imagesDropped(QStringList paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    int drive_;
    bool hasImage_ = false;
    bool latchClosed_ = false;
};

// The local files among dropped URLs (empty when there are none).
QStringList LocalFilesOf(const QMimeData* mime);

}  // namespace velgard::ui

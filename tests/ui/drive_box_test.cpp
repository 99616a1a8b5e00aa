// The drive boxes of the top panel: pictures, mouse and drops.
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include "ui/DriveBox.h"

namespace velgard::ui {
namespace {

QColor LampColour(const QImage& image) { return image.pixelColor(TDriveBox::LampRect().center()); }

bool IsGreen(const QColor& c) { return c.green() > 160 && c.red() < 100 && c.blue() < 100; }
bool IsRed(const QColor& c) { return c.red() > 160 && c.green() < 100 && c.blue() < 100; }
bool IsDark(const QColor& c) { return c.red() < 90 && c.green() < 90 && c.blue() < 90; }

TEST(DriveBox, FourDistinctPicturesWithTheirLamps) {
    // Index = (disk ? 1 : 3) - (latch closed ? 1 : 0).
    EXPECT_EQ(TDriveBox::PictureIndex(true, true), 0);
    EXPECT_EQ(TDriveBox::PictureIndex(true, false), 1);
    EXPECT_EQ(TDriveBox::PictureIndex(false, true), 2);
    EXPECT_EQ(TDriveBox::PictureIndex(false, false), 3);

    QImage pictures[4];
    for (int i = 0; i < 4; ++i) {
        pictures[i] = TDriveBox::Picture(i);
        ASSERT_EQ(pictures[i].size(), QSize(47, 16)) << i;
        for (int j = 0; j < i; ++j) EXPECT_NE(pictures[i], pictures[j]) << i << " vs " << j;
    }
    EXPECT_TRUE(IsGreen(LampColour(pictures[0])));
    EXPECT_TRUE(IsRed(LampColour(pictures[1])));
    EXPECT_TRUE(IsDark(LampColour(pictures[2])));
    EXPECT_TRUE(IsDark(LampColour(pictures[3])));
    // The lever is all that tells an empty closed drive from an empty open one,
    // and the disk all that tells picture 0 from 2 apart from the lamp.
    QImage noLamp0 = pictures[0], noLamp2 = pictures[2];
    const QRect lamp = TDriveBox::LampRect();
    for (int y = lamp.top(); y <= lamp.bottom(); ++y)
        for (int x = lamp.left(); x <= lamp.right(); ++x) noLamp0.setPixelColor(x, y, noLamp2.pixelColor(x, y));
    EXPECT_NE(noLamp0, noLamp2);
    // A corner stays transparent, so the panel's colour shows through.
    EXPECT_EQ(pictures[0].pixelColor(0, 0).alpha(), 0);
}

TEST(DriveBox, LabelPicturesAreDrawnAndDiffer) {
    const QImage ab = TDriveBox::LabelPicture(false), cd = TDriveBox::LabelPicture(true);
    ASSERT_EQ(ab.size(), QSize(21, 13));
    ASSERT_EQ(cd.size(), QSize(21, 13));
    EXPECT_NE(ab, cd);
    int inked = 0;
    for (int y = 0; y < ab.height(); ++y)
        for (int x = 0; x < ab.width(); ++x) inked += ab.pixelColor(x, y).alpha() > 0 ? 1 : 0;
    EXPECT_GT(inked, 30);
}

TEST(DriveBox, WidgetShowsItsStateAndIsNamedAfterItsDrive) {
    TDriveBox box(2);
    EXPECT_EQ(box.objectName(), "DriveC");
    EXPECT_EQ(box.Drive(), 2);
    EXPECT_EQ(box.size(), QSize(47, 16));
    EXPECT_EQ(box.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(box.CurrentPicture(), 3);  // a new box: no disk, door open

    box.SetState(true, true);
    EXPECT_EQ(box.CurrentPicture(), 0);
    EXPECT_TRUE(IsGreen(LampColour(box.grab().toImage())));
    box.SetState(true, false);
    EXPECT_TRUE(IsRed(LampColour(box.grab().toImage())));
    box.SetState(false, true);
    EXPECT_EQ(box.CurrentPicture(), 2);
    EXPECT_TRUE(IsDark(LampColour(box.grab().toImage())));
}

TEST(DriveBox, RightClickTogglesAndDoubleClickLoads) {
    TDriveBox box(1);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    // Through the window, as the system delivers them: a double click is
    // press, release, press, double click, release.
    QWindow* window = box.windowHandle();
    const QPoint at = box.rect().center();
    QSignalSpy latch(&box, &TDriveBox::latchToggleRequested);
    QSignalSpy load(&box, &TDriveBox::loadRequested);

    QTest::mouseClick(window, Qt::RightButton, {}, at);
    EXPECT_EQ(latch.count(), 1);
    QTest::mouseClick(window, Qt::LeftButton, {}, at);
    QTest::mouseClick(window, Qt::MiddleButton, {}, at);
    EXPECT_EQ(latch.count(), 1);
    EXPECT_EQ(load.count(), 0);

    QTest::mouseDClick(window, Qt::LeftButton, {}, at);
    ASSERT_EQ(load.count(), 1);
    EXPECT_FALSE(load.takeFirst().at(0).toBool());
    QTest::mouseDClick(window, Qt::LeftButton, Qt::ControlModifier, at);
    ASSERT_EQ(load.count(), 1);
    EXPECT_TRUE(load.takeFirst().at(0).toBool());
    EXPECT_EQ(latch.count(), 1);

    // Two quick right clicks are two presses: the door goes back.
    latch.clear();
    QTest::mouseDClick(window, Qt::RightButton, {}, at);
    EXPECT_EQ(latch.count(), 2);
    EXPECT_EQ(load.count(), 0);
}

// Sends a drag over the widget and then drops; true when the drop was taken.
bool DragAndDrop(QWidget* target, QMimeData* mime) {
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

TEST(DriveBox, DroppedLocalFilesAreReported) {
    TDriveBox box(0);
    QSignalSpy dropped(&box, &TDriveBox::imagesDropped);

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/one.kdi"), QUrl("https://example.org/two.kdi"),
                   QUrl::fromLocalFile("/tmp/диск три.kdi")});
    EXPECT_TRUE(DragAndDrop(&box, &files));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped.takeFirst().at(0).toStringList(),
              QStringList({"/tmp/one.kdi", "/tmp/диск три.kdi"}));

    // Nothing local: the drag is refused.
    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/two.kdi")});
    EXPECT_FALSE(DragAndDrop(&box, &remote));
    QMimeData text;
    text.setText("/tmp/one.kdi");
    EXPECT_FALSE(DragAndDrop(&box, &text));
    EXPECT_EQ(dropped.count(), 0);
}

}  // namespace
}  // namespace velgard::ui

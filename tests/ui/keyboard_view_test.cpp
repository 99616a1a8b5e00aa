// The keyboard picture in the window: clicks press Korvet keys, the
// picture follows the key matrix key by key.
#include <QImage>
#include <QPixmap>
#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "machine/KorvetKeyboard.h"
#include "ui/KeyboardView.h"

namespace velgard::ui {
namespace {

constexpr QPoint kOffset{21, 13};

struct KeyboardView : ::testing::Test {
    tKorvetKeyboard keyboard;
    std::unique_ptr<TKeyboardView> view = std::make_unique<TKeyboardView>(keyboard);

    int PressedCount() const {
        int n = 0;
        for (int r = 0; r < tKorvetKeyboard::kRows; ++r)
            for (int c = 0; c < tKorvetKeyboard::kColumns; ++c) n += keyboard.IsPressed(r, c);
        return n;
    }
    // Picture point (x, y) in the view's coordinates.
    static QPoint At(int x, int y) { return QPoint(x, y) + kOffset; }

    // The working picture shows the down picture exactly inside the pressed
    // keys, the up picture inside the others, and transparency elsewhere.
    void ExpectPictureMatchesMatrix() const {
        const QImage& work = view->WorkingPicture();
        const auto& pics = view->Pictures();
        QImage expected(work.size(), QImage::Format_ARGB32);
        expected.fill(0u);
        for (int pressedPass = 0; pressedPass < 2; ++pressedPass) {
            for (int r = 0; r < tKorvetKeyboard::kRows; ++r) {
                for (int c = 0; c < tKorvetKeyboard::kColumns; ++c) {
                    if (keyboard.IsPressed(r, c) != (pressedPass == 1)) continue;
                    const QImage& src = keyboard.IsPressed(r, c) ? pics.Down : pics.Up;
                    for (const QRect& a : tKeyboardPictures::KeyAreas(keyboard, r, c))
                        for (int y = a.top(); y <= a.bottom(); ++y)
                            for (int x = a.left(); x <= a.right(); ++x) expected.setPixel(x, y, src.pixel(x, y));
                }
            }
        }
        for (int y = 0; y < work.height(); ++y)
            for (int x = 0; x < work.width(); ++x)
                ASSERT_EQ(work.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
    }
};

TEST_F(KeyboardView, IsTheKeyboardImagePaintBoxWithATransparentBackground) {
    EXPECT_EQ(view->objectName(), "KeyboardImage");
    EXPECT_EQ(view->size(), QSize(512, 174));
    EXPECT_EQ(view->focusPolicy(), Qt::NoFocus);
    const QImage& work = view->WorkingPicture();
    ASSERT_EQ(work.size(), QSize(467, 151));
    EXPECT_EQ(qAlpha(work.pixel(0, 150)), 0);
    EXPECT_EQ(qAlpha(work.pixel(135, 88)), 255);  // inside A
    ExpectPictureMatchesMatrix();

    // Painting puts the picture at (21, 13) over whatever is behind it.
    view->setAutoFillBackground(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    view->setPalette(palette);
    const QImage shot = view->grab().toImage();
    EXPECT_EQ(shot.pixel(At(135, 88)), work.pixel(135, 88));
    EXPECT_EQ(shot.pixel(At(0, 150)), QColor(10, 200, 30).rgb());
    EXPECT_EQ(shot.pixel(5, 5), QColor(10, 200, 30).rgb());
}

TEST_F(KeyboardView, ClickInsideAKeyHoldsItUntilTheButtonIsReleasedAnywhere) {
    QTest::mousePress(view.get(), Qt::LeftButton, {}, At(135, 88));  // А/A
    EXPECT_TRUE(keyboard.IsPressed(0, 1));
    EXPECT_EQ(PressedCount(), 1);
    EXPECT_EQ(keyboard.MouseKey(), (tKorvetKeyPos{0, 1}));
    ExpectPictureMatchesMatrix();
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, QPoint(510, 170));  // far away
    EXPECT_EQ(PressedCount(), 0);
    ExpectPictureMatchesMatrix();

    // Only the left button presses.
    QTest::mousePress(view.get(), Qt::RightButton, {}, At(135, 88));
    EXPECT_EQ(PressedCount(), 0);
    QTest::mouseRelease(view.get(), Qt::RightButton, {}, At(135, 88));
}

TEST_F(KeyboardView, ClickOnABorderOrOutsideTheKeysPressesNothing) {
    // x = 75 is the line between F2 (37..75) and F3 (75..113); x = 0 the
    // left edge of TAB; the rest lie outside every key.
    for (const QPoint p : {At(75, 10), At(0, 60), At(380, 60), At(200, 10), QPoint(5, 5)}) {
        QTest::mousePress(view.get(), Qt::LeftButton, {}, p);
        EXPECT_EQ(PressedCount(), 0) << p.x() << "," << p.y();
        QTest::mouseRelease(view.get(), Qt::LeftButton, {}, p);
    }
    // One pixel further in lies the key.
    QTest::mousePress(view.get(), Qt::LeftButton, {}, At(76, 10));
    EXPECT_TRUE(keyboard.IsPressed(10, 2));
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, At(76, 10));
}

TEST_F(KeyboardView, EnterExtensionPressesEnterAndDrawsBothAreas) {
    QTest::mousePress(view.get(), Qt::LeftButton, {}, At(360, 90));
    EXPECT_TRUE(keyboard.IsPressed(6, 0));
    EXPECT_EQ(PressedCount(), 1);
    EXPECT_EQ(view->WorkingPicture().pixel(360, 90), view->Pictures().Down.pixel(360, 90));
    EXPECT_EQ(view->WorkingPicture().pixel(357, 60), view->Pictures().Down.pixel(357, 60));
    ExpectPictureMatchesMatrix();
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, At(360, 90));
    EXPECT_FALSE(keyboard.IsPressed(6, 0));
    ExpectPictureMatchesMatrix();
}

TEST_F(KeyboardView, FollowsTheMatrixKeyByKeyAndOnReleaseAll) {
    keyboard.KeyDown(vk::kA);
    keyboard.KeyDown(vk::kSpace);
    keyboard.KeyDown(vk::kReturn);
    ExpectPictureMatchesMatrix();
    // A key held by the mouse and the keyboard stays drawn down until both let go.
    QTest::mousePress(view.get(), Qt::LeftButton, {}, At(135, 88));
    keyboard.KeyUp(vk::kA);
    EXPECT_TRUE(keyboard.IsPressed(0, 1));
    ExpectPictureMatchesMatrix();
    keyboard.KeyUp(vk::kSpace);
    ExpectPictureMatchesMatrix();
    EXPECT_TRUE(keyboard.ReleaseAll());
    EXPECT_EQ(PressedCount(), 0);
    ExpectPictureMatchesMatrix();
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, At(135, 88));  // nothing left to release
    EXPECT_EQ(PressedCount(), 0);
}

TEST_F(KeyboardView, KeysPressedBeforeTheViewExistedAreShownAndTheMapperOutlivesIt) {
    view.reset();
    keyboard.KeyDown(vk::kF1);
    view = std::make_unique<TKeyboardView>(keyboard);
    ExpectPictureMatchesMatrix();
    view.reset();
    // With the view gone the mapper calls no handler of it.
    EXPECT_TRUE(keyboard.KeyUp(vk::kF1));
    EXPECT_TRUE(keyboard.KeyDown(vk::kF1));
    EXPECT_TRUE(keyboard.ReleaseAll());
}

}  // namespace
}  // namespace velgard::ui

// The drawn keyboard pictures: size, the transparent colour, and the two
// pictures differing exactly inside the keys.
#include <QImage>
#include <QRegion>

#include <gtest/gtest.h>

#include "machine/KorvetKeyboard.h"
#include "ui/KeyboardPictures.h"

namespace velgard::ui {
namespace {

struct KeyboardPictures : ::testing::Test {
    tKorvetKeyboard table;
    tKeyboardPictures pictures = tKeyboardPictures::Draw(table);

    // Every key's areas, in table order.
    std::vector<std::pair<tKorvetKeyPos, std::vector<QRect>>> Keys() const {
        std::vector<std::pair<tKorvetKeyPos, std::vector<QRect>>> keys;
        for (int r = 0; r < tKorvetKeyboard::kRows; ++r)
            for (int c = 0; c < tKorvetKeyboard::kColumns; ++c)
                if (auto areas = tKeyboardPictures::KeyAreas(table, r, c); !areas.empty())
                    keys.push_back({{r, c}, areas});
        return keys;
    }
};

TEST_F(KeyboardPictures, HaveTheTableSizeAndATransparentCornerNoKeyUses) {
    for (const QImage* image : {&pictures.Up, &pictures.Down}) {
        ASSERT_EQ(image->width(), 467);
        ASSERT_EQ(image->height(), 151);
        EXPECT_EQ(image->pixel(0, 150), tKeyboardPictures::kTransparent);
    }
    const auto keys = Keys();
    ASSERT_EQ(keys.size(), 80u);
    for (const auto& [pos, areas] : keys) {
        for (const QRect& area : areas) {
            ASSERT_TRUE(QRect(0, 0, 467, 151).contains(area)) << pos.Row << "," << pos.Column;
            for (const QImage* image : {&pictures.Up, &pictures.Down})
                for (int y = area.top(); y <= area.bottom(); ++y)
                    for (int x = area.left(); x <= area.right(); ++x)
                        ASSERT_NE(image->pixel(x, y), tKeyboardPictures::kTransparent)
                            << "key " << pos.Row << "," << pos.Column << " at " << x << "," << y;
        }
    }
}

TEST_F(KeyboardPictures, PressedAndReleasedDifferInsideEveryKeyAndNowhereElse) {
    QRegion allKeys;
    for (const auto& [pos, areas] : Keys()) {
        QRegion shape;
        for (const QRect& a : areas) shape += a;
        allKeys += shape;
        // Most of the key's inside changes (its outline may stay).
        int inside = 0, changed = 0;
        for (const QRect& r : shape)
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) {
                    if ((shape & QRect(x - 1, y - 1, 3, 3)) != QRegion(x - 1, y - 1, 3, 3)) continue;  // outline
                    ++inside;
                    changed += pictures.Up.pixel(x, y) != pictures.Down.pixel(x, y);
                }
        EXPECT_GT(inside, 0);
        EXPECT_GT(changed * 10, inside * 9) << "key " << pos.Row << "," << pos.Column;
    }
    // The ENTER extension is part of ENTER: it changes too.
    EXPECT_NE(pictures.Up.pixel(360, 90), pictures.Down.pixel(360, 90));
    for (int y = 0; y < 151; ++y) {
        for (int x = 0; x < 467; ++x) {
            if (!allKeys.contains(QPoint(x, y))) {
                ASSERT_EQ(pictures.Up.pixel(x, y), pictures.Down.pixel(x, y)) << x << "," << y;
            }
        }
    }
}

TEST_F(KeyboardPictures, KeyOutlinesAreTheSameInBothSoNeighboursSurviveAKeyCopy) {
    // Copying one key's rectangle from the other picture leaves every other
    // key's pixels as they were, even where the rectangles share a border.
    for (const auto& [pos, areas] : Keys()) {
        QImage mixed = pictures.Up;
        for (const QRect& a : areas)
            for (int y = a.top(); y <= a.bottom(); ++y)
                for (int x = a.left(); x <= a.right(); ++x) mixed.setPixel(x, y, pictures.Down.pixel(x, y));
        QRegion own;
        for (const QRect& a : areas) own += a;
        for (const auto& [other, otherAreas] : Keys()) {
            if (other == pos) continue;
            for (const QRect& a : otherAreas)
                for (int y = a.top(); y <= a.bottom(); ++y)
                    for (int x = a.left(); x <= a.right(); ++x)
                        ASSERT_EQ(mixed.pixel(x, y), pictures.Up.pixel(x, y))
                            << pos.Row << "," << pos.Column << " spoils " << other.Row << "," << other.Column;
        }
    }
}

TEST_F(KeyboardPictures, AreasOfEnterIncludeTheExtension) {
    const auto enter = tKeyboardPictures::KeyAreas(table, 6, 0);
    ASSERT_EQ(enter.size(), 2u);
    EXPECT_EQ(enter[0], QRect(338, 50, 38, 26));
    EXPECT_EQ(enter[1], QRect(QPoint(347, 75), QPoint(374, 99)));
    EXPECT_TRUE(tKeyboardPictures::KeyAreas(table, 3, 6).size() == 1);
    EXPECT_TRUE(tKeyboardPictures::KeyAreas(table, 9, 2).empty());  // not a key
}

}  // namespace
}  // namespace velgard::ui

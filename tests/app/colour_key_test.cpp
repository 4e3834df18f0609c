#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>
#include <QWidget>

#include "app/mo_listview.h"
#include "app/mtrans.h"

namespace permscope::app {
namespace {

QPalette distinct_palette() {
    QPalette palette;
    palette.setColor(QPalette::Active, QPalette::Button, QColor(1, 2, 3));
    palette.setColor(QPalette::Active, QPalette::Base, QColor(4, 5, 6));
    palette.setColor(QPalette::Active, QPalette::Text, QColor(7, 8, 9));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(10, 11, 12));
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(13, 14, 15));
    palette.setColor(QPalette::Active, QPalette::ToolTipBase, QColor(16, 17, 18));
    return palette;
}

TEST(TranslateColour, ReadsRedGreenBlueFromTheLowBytesUp) {
    EXPECT_EQ(translate_colour(0xFF00FF, {}), QColor(255, 0, 255));
    EXPECT_EQ(translate_colour(0x00332211, {}), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(translate_colour(0x404040, {}), QColor(64, 64, 64));
    EXPECT_EQ(translate_colour(0, {}), QColor(0, 0, 0));
}

TEST(TranslateColour, TakesSystemColoursFromThePaletteRoleOfTheSameMeaning) {
    const QPalette palette = distinct_palette();
    const auto system = [](std::uint32_t index) {
        return static_cast<std::int32_t>(0x80000000u + index);
    };
    EXPECT_EQ(translate_colour(system(15), palette), QColor(1, 2, 3));     // button face
    EXPECT_EQ(translate_colour(system(5), palette), QColor(4, 5, 6));      // window
    EXPECT_EQ(translate_colour(system(8), palette), QColor(7, 8, 9));      // window text
    EXPECT_EQ(translate_colour(system(17), palette), QColor(10, 11, 12));  // grey text
    EXPECT_EQ(translate_colour(system(13), palette), QColor(13, 14, 15));  // highlight
    EXPECT_EQ(translate_colour(system(24), palette), QColor(16, 17, 18));  // tool tip background
}

TEST(TranslateColour, GivesNothingForValuesThatNameNoColour) {
    EXPECT_FALSE(translate_colour(static_cast<std::int32_t>(0x80000019u), {}));  // 25: unassigned
    EXPECT_FALSE(translate_colour(static_cast<std::int32_t>(0x8000001Fu), {}));  // past the last
    EXPECT_FALSE(translate_colour(static_cast<std::int32_t>(0x81000005u), {}));
    EXPECT_FALSE(translate_colour(-1, {}));
}

TEST(OpaqueRegion, LeavesOutExactlyTheKeyPixels) {
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    image.setPixelColor(1, 1, QColor(255, 0, 255));
    image.setPixelColor(3, 2, QColor(255, 0, 255));
    image.setPixelColor(2, 0, QColor(255, 0, 254));  // near the key is not the key
    const QRegion region = opaque_region(image, qRgb(255, 0, 255));
    EXPECT_FALSE(region.contains(QPoint(1, 1)));
    EXPECT_FALSE(region.contains(QPoint(3, 2)));
    EXPECT_TRUE(region.contains(QPoint(2, 0)));
    EXPECT_TRUE(region.contains(QPoint(0, 0)));
    EXPECT_TRUE(region.contains(QPoint(3, 1)));
    int opaque_pixels = 0;
    for (const QRect& rect : region)
        opaque_pixels += rect.width() * rect.height();
    EXPECT_EQ(opaque_pixels, 10);
}

// A key-coloured window with an opaque label and a key-coloured label on it.
struct KeyedWindow {
    QWidget window;
    QLabel* opaque = new QLabel(&window);
    QLabel* keyed = new QLabel(&window);

    explicit KeyedWindow(const QColor& background) {
        window.resize(100, 60);
        set_background(&window, background);
        opaque->setGeometry(10, 10, 20, 20);
        set_background(opaque, QColor(200, 30, 30));
        keyed->setGeometry(50, 10, 20, 20);
        set_background(keyed, QColor(255, 0, 255));
    }

    static void set_background(QWidget* widget, const QColor& colour) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, colour);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    }
};

TEST(ColorTransparent, CutsEveryKeyPixelOutOfTheWindowControlsIncluded) {
    KeyedWindow keyed(QColor(255, 0, 255));
    Color_transparent(keyed.window, 0xFF00FF);
    const QRegion mask = keyed.window.mask();
    EXPECT_TRUE(mask.contains(QPoint(15, 15)));   // the opaque label
    EXPECT_FALSE(mask.contains(QPoint(5, 5)));    // the window's background
    EXPECT_FALSE(mask.contains(QPoint(55, 15)));  // a control in the key colour
    EXPECT_FALSE(mask.contains(QPoint(90, 50)));
}

TEST(ColorTransparent, UsesASystemColourAsItsTranslatedValue) {
    KeyedWindow keyed(QColor(1, 2, 3));
    keyed.window.setPalette([&] {
        QPalette palette = keyed.window.palette();
        palette.setColor(QPalette::Active, QPalette::Button, QColor(1, 2, 3));
        return palette;
    }());
    Color_transparent(keyed.window, static_cast<std::int32_t>(0x8000000Fu));
    const QRegion mask = keyed.window.mask();
    EXPECT_FALSE(mask.contains(QPoint(5, 5)));
    EXPECT_TRUE(mask.contains(QPoint(15, 15)));
    EXPECT_TRUE(mask.contains(QPoint(55, 15)));  // magenta is not the key this time
}

TEST(ColorTransparent, AColourThatCannotBeTranslatedLeavesTheWindowOpaque) {
    KeyedWindow keyed(QColor(255, 0, 255));
    Color_transparent(keyed.window, static_cast<std::int32_t>(0x80000019u));
    EXPECT_TRUE(keyed.window.mask().isEmpty());
    refresh_colour_key(keyed.window);
    EXPECT_TRUE(keyed.window.mask().isEmpty());
}

TEST(ColorTransparent, TheMaskFollowsTheRenderingWhenRefreshed) {
    KeyedWindow keyed(QColor(255, 0, 255));
    Color_transparent(keyed.window, 0xFF00FF);
    EXPECT_FALSE(keyed.window.mask().contains(QPoint(85, 45)));
    keyed.opaque->move(80, 40);
    refresh_colour_key(keyed.window);
    EXPECT_TRUE(keyed.window.mask().contains(QPoint(85, 45)));
    EXPECT_FALSE(keyed.window.mask().contains(QPoint(15, 15)));
}

TEST(HeaderFlat, TheColumnHeadersStopActingAsButtons) {
    QStandardItemModel model(3, 2);
    QTreeView view;
    view.setModel(&model);
    view.resize(300, 200);
    view.header()->setSectionsClickable(true);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QSignalSpy clicks(view.header(), &QHeaderView::sectionClicked);
    QTest::mouseClick(view.header()->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    ASSERT_EQ(clicks.count(), 1);  // the test can see a click on a button header

    Header_flat(view);
    EXPECT_FALSE(view.header()->sectionsClickable());
    QTest::mouseClick(view.header()->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_EQ(clicks.count(), 1);
}

}  // namespace
}  // namespace permscope::app

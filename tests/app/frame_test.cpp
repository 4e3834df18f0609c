// The borderless frame: the title strip drags the window with edge snapping, the close label
// shows its hover picture and closes the window.

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <filesystem>

#include "tests/app/window_fixture.h"

namespace permscope::app {
namespace {

using testing::WindowTest;

class Frame : public WindowTest {
  protected:
    void SetUp() override {
        make_form().Load();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        title = control<QLabel>("lblFormHead");
        close_label = control<QLabel>("cmdEnde");
        picture = control<QLabel>("ImgEnde");
    }

    // Sends a mouse event to a control, as the window system delivers it there.
    void mouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }
    void move_over(QWidget* target, QPoint local, Qt::MouseButtons held = Qt::NoButton) {
        mouse(target, QEvent::MouseMove, local, Qt::NoButton, held);
    }

    QLabel* title = nullptr;
    QLabel* close_label = nullptr;
    QLabel* picture = nullptr;
};

// The hover picture lives beside the program: here, beside the test program. The cases that put
// it there and take it away run in one test, so that parallel runs cannot meet.
TEST_F(Frame, TheHoverPictureIsReadAtEveryMoveAndClearedOnlyOverTheTitle) {
    const std::filesystem::path beside =
        QCoreApplication::applicationDirPath().toStdString() + "/btnende.jpg";
    std::filesystem::copy_file(PERMSCOPE_SOURCE_DIR "/app/resources/btnende.jpg", beside,
                               std::filesystem::copy_options::overwrite_existing);

    move_over(close_label, {10, 10});
    ASSERT_FALSE(picture->pixmap().isNull());
    EXPECT_EQ(picture->pixmap().size(), QSize(57, 33));
    move_over(control<QWidget>("Dir1"), {5, 5});
    EXPECT_FALSE(picture->pixmap().isNull());  // no other control clears it
    move_over(title, {300, 40});
    EXPECT_TRUE(picture->pixmap().isNull());

    // Without the file the close label shows nothing, and it still closes the window.
    std::filesystem::remove(beside);
    move_over(close_label, {10, 10});
    EXPECT_TRUE(picture->pixmap().isNull());
    mouse(close_label, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(close_label, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Frame, MovingOverTheTitleWithoutAButtonMovesNothing) {
    const QPoint before = form->pos();
    move_over(title, {100, 40});
    move_over(title, {400, 60});
    EXPECT_EQ(form->pos(), before);
}

TEST_F(Frame, DraggingTheTitleFollowsTheMouseAndSnapsToTheScreensEdges) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_GE(screen.width(), 800);
    ASSERT_GE(screen.height(), 600);
    form->move(screen.topLeft() + QPoint(40, 3));

    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        form->move(screen.topLeft() + QPoint(40, 3));
        mouse(title, QEvent::MouseButtonPress, {100, 40}, button, button);
        EXPECT_EQ(title->cursor().shape(), Qt::SizeAllCursor);

        // 10 pixels right: left 40 + 10 = 50 pixels (750 twips) stays; top 3 pixels is within
        // 350 twips of the top edge and snaps to 0.
        move_over(title, {110, 40}, button);
        EXPECT_EQ(form->pos(), screen.topLeft() + QPoint(50, 0));

        // Within 350 twips of the left edge: flush with it.
        move_over(title, {70, 40}, button);
        EXPECT_EQ(form->pos().x(), screen.left());

        // Far to the right and down: flush with the right and bottom edges.
        move_over(title, {100 + screen.width(), 40 + screen.height()}, button);
        EXPECT_EQ(form->pos(),
                  screen.topLeft() + QPoint(screen.width() - 710, screen.height() - 593));

        mouse(title, QEvent::MouseButtonRelease, {100, 40}, button, Qt::NoButton);
        EXPECT_EQ(title->cursor().shape(), Qt::ArrowCursor);
        const QPoint after = form->pos();
        move_over(title, {10, 10});
        EXPECT_EQ(form->pos(), after);
    }
}

TEST_F(Frame, TheCloseLabelLiesAboveTheTitleStripInTheirCommonCorner) {
    EXPECT_EQ(form->childAt(QPoint(680, 15)), close_label);
    EXPECT_EQ(form->childAt(QPoint(300, 40)), title);
}

}  // namespace
}  // namespace permscope::app

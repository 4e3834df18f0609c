// The real program on a real X server (Xvfb with a white root window): one borderless
// top-level window "Permscope" of 710 x 593 pixels, and the desktop shows through wherever the
// window carries the key colour.

#include <QColor>
#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/app/x11_session.h"

namespace permscope::app::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(X11Session, OneBorderlessWindowWhoseKeyColourShowsTheDesktop) {
    start_program();
    const std::vector<WindowInfo> windows = wait_for_window();
    ASSERT_EQ(windows.size(), 1u) << x("xwininfo -root -children");
    const WindowInfo window = windows.front();
    EXPECT_EQ(window.width, 710);
    EXPECT_EQ(window.height, 593);

    // No system frame: the window asks for no decorations (Motif hints: flags bit 2, decorations
    // 0), and no window manager frame wraps it.
    const std::string hints = x("xprop -id " + window.id + " _MOTIF_WM_HINTS");
    unsigned long flags = 0, functions = 0, decorations = 1;
    const auto values = hints.find("= ");
    ASSERT_NE(values, std::string::npos) << hints;
    ASSERT_EQ(
        std::sscanf(hints.c_str() + values, "= %lx, %lx, %lx", &flags, &functions, &decorations), 3)
        << hints;
    EXPECT_TRUE(flags & 0x2) << hints;
    EXPECT_EQ(decorations, 0u) << hints;
    EXPECT_NE(x("xprop -id " + window.id + " WM_NAME").find("\"Permscope\""), std::string::npos);

    // The strip below the background picture is key-coloured: once the colour key is on, the
    // white root window shows there, while the picture and the controls stay.
    const QPoint strip(window.x + 300, window.y + 580);
    const QPoint title(window.x + 300, window.y + 40);
    const QPoint user_list(window.x + 600, window.y + 540);
    // The colour key may take effect before every control has painted: wait for both.
    QImage shot;
    for (int i = 0; i < 100; ++i) {
        shot = screenshot();
        if (!shot.isNull() && shot.pixelColor(strip) == QColor(Qt::white) &&
            shot.pixelColor(user_list) == QColor(0x40, 0x40, 0x40) &&
            shot.pixelColor(title) != QColor(Qt::white))
            break;
        std::this_thread::sleep_for(200ms);
    }
    ASSERT_FALSE(shot.isNull()) << "no screenshot of the root window";
    EXPECT_EQ(shot.pixelColor(strip), QColor(Qt::white));
    EXPECT_NE(shot.pixelColor(title), QColor(Qt::white));
    EXPECT_NE(shot.pixelColor(title), QColor(255, 0, 255));
    EXPECT_EQ(shot.pixelColor(user_list), QColor(0x40, 0x40, 0x40));
    EXPECT_NE(shot.pixelColor(window.x, window.y + 580), QColor(Qt::white));  // left border

    // Mouse input at a key-coloured pixel reaches what lies behind (the root window); at the
    // title strip and the border line it reaches the window.
    const auto window_under_pointer = [&](const QPoint& point) {
        x("xdotool mousemove " + std::to_string(point.x()) + " " + std::to_string(point.y()));
        const std::string location = x("xdotool getmouselocation");
        const auto at = location.find("window:");
        return at == std::string::npos ? -1L : std::stol(location.substr(at + 7));
    };
    const long window_id = std::stol(window.id, nullptr, 16);
    EXPECT_NE(window_under_pointer(strip), window_id);
    EXPECT_EQ(window_under_pointer(title), window_id);
    EXPECT_EQ(window_under_pointer(QPoint(window.x, window.y + 580)), window_id);
}

}  // namespace
}  // namespace permscope::app::testing

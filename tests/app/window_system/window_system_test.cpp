// Permscope's window on real display servers: Xvfb (X11), and weston with Qt's Wayland platform,
// headless and on its X11 back-end (the headless back-end has no input devices, so clicks go
// through weston nested in Xvfb). A screenshot through the server shows no key-coloured pixel
// and shows the backdrop wherever the window's own rendering holds the key colour; a click at a
// key-coloured place reaches the backdrop, one at the path box reaches the window.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <regex>
#include <thread>

#include "testbed/server_process.h"
#include "tests/common/temp_folder.h"

namespace {

using namespace permscope::testing;
using namespace std::chrono_literals;

const QRgb kKey = qRgb(255, 0, 255);
const QRgb kBackdrop = qRgb(0, 128, 0);

// The first match of pattern in the file's text once it appears there, else "".
std::string wait_for(const std::string& path, const std::string& pattern) {
    const std::regex wanted(pattern);
    for (int tries = 0; tries < 300; ++tries) {
        std::smatch found;
        const std::string text = read_file(path);
        if (std::regex_search(text, found, wanted))
            return found.str(found.size() > 1 ? 1 : 0);
        std::this_thread::sleep_for(50ms);
    }
    return {};
}

class WindowSystem : public ::testing::Test {
  protected:
    ~WindowSystem() override {
        for (auto pid = pids_.rbegin(); pid != pids_.rend(); ++pid)
            stop_child(*pid);
    }

    void start(const std::string& command, const std::string& log) {
        pids_.push_back(start_child(Child({"/bin/sh", "-c", "exec " + command}, temp / log)));
    }
    void run(const std::string& command) {
        run_child(Child({"/bin/sh", "-c", command}, temp / "commands.log"));
    }

    // A private Xvfb; its display name goes into x_display.
    void start_xvfb() {
        start("Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp", "xvfb.log");
        const std::string number = wait_for(temp / "xvfb.log", "(?:^|\n)([0-9]+)\n");
        ASSERT_FALSE(number.empty()) << read_file(temp / "xvfb.log");
        x_display = ":" + number;
    }

    // weston with the pixman renderer on the back-end; clients reach it through env.
    void start_weston(const std::string& backend) {
        const std::string runtime = temp.make_folder("runtime");
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        const std::string socket = "permscope-test-" + std::to_string(getpid());
        // No panel, no lock screen, no animation, no on-screen keyboard: the desktop is the
        // backdrop's colour, at once.
        temp.write("weston.ini",
                   "[shell]\npanel-position=none\nbackground-color=0xff008000\nlocking=false\n"
                   "animation=none\nstartup-animation=none\n[input-method]\npath=\n");
        env = "XDG_RUNTIME_DIR=" + runtime + " WAYLAND_DISPLAY=" + socket;
        start("env DISPLAY=" + x_display + " " + env + " weston --backend=" + backend +
                  " --use-pixman --width=1024 --height=768 --socket=" + socket +
                  " --config=" + (temp / "weston.ini") + " --idle-time=0 --debug",
              "weston.log");
        ASSERT_NE(wait_for(temp / "weston.log", "launching '.*weston-desktop-shell'"), "")
            << read_file(temp / "weston.log");
        env += " QT_QPA_PLATFORM=wayland";
    }

    // The probe, started in a folder of its own (one without sub-folders); returns its own
    // rendering.
    QImage start_probe() {
        const std::string folder = temp.make_folder("start");
        start("env " + env + " LDAPURI=ldap://127.0.0.1:1 KRB5_CONFIG=/dev/null sh -c 'cd " +
                  folder + " && exec " + PERMSCOPE_PROBE + " " + (temp / "rendering.png") + "'",
              "probe.log");
        EXPECT_NE(wait_for(temp / "probe.log", "ready\n"), "") << read_file(temp / "probe.log");
        return QImage(QString::fromStdString(temp / "rendering.png"));
    }

    QImage screenshot() {
        if (env.find("WAYLAND_DISPLAY") == std::string::npos)
            run("env " + env + " import -window root " + (temp / "shot.png"));
        else
            run("cd " + temp.path() + " && env " + env +
                " weston-screenshooter && mv wayland-screenshot-*.png shot.png");
        return QImage(QString::fromStdString(temp / "shot.png"))
            .convertToFormat(QImage::Format_RGB32);
    }

    // Where the rendering lies on the screenshot: the place most of its opaque pixels match.
    static QPoint place_of(const QImage& rendering, const QImage& shot) {
        QPoint best;
        int best_matches = -1;
        for (int dy = 0; dy + rendering.height() <= shot.height(); ++dy)
            for (int dx = 0; dx + rendering.width() <= shot.width(); ++dx) {
                int matches = 0;
                for (int y = 3; y < rendering.height(); y += 41)
                    for (int x = 3; x < rendering.width(); x += 41)
                        matches += rendering.pixel(x, y) == shot.pixel(dx + x, dy + y);
                if (matches > best_matches)
                    std::tie(best, best_matches) = std::tuple(QPoint(dx, dy), matches);
            }
        return best;
    }

    // Every key pixel of the rendering shows the backdrop, nearly every other one the window.
    QPoint check_screenshot() {
        const QImage rendering = start_probe().convertToFormat(QImage::Format_RGB32);
        QImage shot;
        int key_on_screen = 0;
        // A loaded machine may show the window's last frame a little late: a few more looks.
        for (int look = 0; look < 5 && (look == 0 || key_on_screen > 0); ++look) {
            if (look > 0)
                std::this_thread::sleep_for(1s);
            shot = screenshot();
            key_on_screen = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    key_on_screen += shot.pixel(x, y) == kKey;
        }
        EXPECT_EQ(shot.size(), QSize(1024, 768));
        const QPoint at = place_of(rendering, shot);
        int key_pixels = 0, backdrop_missing = 0, window_missing = 0;
        for (int y = 0; y < rendering.height(); ++y)
            for (int x = 0; x < rendering.width(); ++x) {
                const QRgb seen = shot.pixel(at + QPoint(x, y));
                if (rendering.pixel(x, y) == kKey)
                    backdrop_missing += seen != kBackdrop, ++key_pixels;
                else
                    window_missing += seen != rendering.pixel(x, y);
            }
        // The strip below the lists and the block in the hover picture.
        EXPECT_GE(key_pixels, 17000);
        EXPECT_EQ(rendering.pixel(680, 15), kKey);
        EXPECT_EQ(key_on_screen, 0);
        EXPECT_EQ(backdrop_missing, 0);
        EXPECT_LE(window_missing, rendering.width() * rendering.height() / 50);
        return at;
    }

    // A click on the directory list reaches the window, one on the strip below the lists falls
    // through to the backdrop.
    void check_clicks(QPoint window_at) {
        const auto click = [&](QPoint at) {
            // Moved there from elsewhere, so that weston (on its X11 back-end) sees the pointer
            // arrive before the button.
            run("env DISPLAY=" + x_display + " xdotool mousemove 5 5 sleep 0.2 mousemove " +
                std::to_string(at.x()) + " " + std::to_string(at.y()) + " sleep 0.3 click 1");
        };
        click(window_at + QPoint(100, 480));  // the directory list, below its few entries
        EXPECT_NE(wait_for(temp / "probe.log", "press Form1 "), "")
            << read_file(temp / "probe.log");
        click(window_at + QPoint(400, 585));
        EXPECT_NE(wait_for(temp / "probe.log", "press Backdrop "), "")
            << read_file(temp / "probe.log");
        const std::string log = read_file(temp / "probe.log");
        EXPECT_EQ(log.find("press Form1 "), log.rfind("press Form1 ")) << log;  // only the first
    }

    TempFolder temp;
    std::string x_display, env;

  private:
    std::vector<pid_t> pids_;
};

TEST_F(WindowSystem, OnX11TheKeyColourIsCutOutOfDrawingAndInput) {
    start_xvfb();
    env = "DISPLAY=" + x_display + " QT_QPA_PLATFORM=xcb";
    check_clicks(check_screenshot());
}

TEST_F(WindowSystem, OnWaylandHeadlessTheKeyColourIsDrawnSeeThrough) {
    start_weston("headless-backend.so");
    check_screenshot();
}

TEST_F(WindowSystem, OnWaylandTheKeyColourIsCutOutOfDrawingAndInput) {
    start_xvfb();
    start_weston("x11-backend.so");
    check_clicks(check_screenshot());
}

}  // namespace

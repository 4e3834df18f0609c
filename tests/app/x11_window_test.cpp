// The real program on a real X server (Xvfb, started here on a free display with a white root
// window): one borderless top-level window "Permscope" of 710 x 593 pixels, and the desktop shows
// through wherever the window carries the key colour.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extra_env,
            const std::string& output) {
    std::vector<std::string> environment = extra_env;
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.emplace_back(*entry);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw std::runtime_error("cannot start " + arguments[0]);
    return pid;
}

void stop(pid_t pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(100ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

struct WindowInfo {
    std::string id;
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
};

// An X server and the program on it, both stopped when the test ends.
class X11Session : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            std::filesystem::temp_directory_path() / ("permscope-x11-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_ / "start");
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
        for (int display = 90 + getpid() % 100; display < 400; ++display) {
            if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display)) ||
                std::filesystem::exists("/tmp/.X" + std::to_string(display) + "-lock"))
                continue;
            display_ = ":" + std::to_string(display);
            break;
        }
        ASSERT_FALSE(display_.empty()) << "no free display number";
        xvfb_ = spawn(
            {"/usr/bin/Xvfb", display_, "-screen", "0", "1024x768x24", "-wr", "-nolisten", "tcp"},
            {}, (folder_ / "xvfb.log").string());
        const std::string socket = "/tmp/.X11-unix/X" + display_.substr(1);
        for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(100ms);
        ASSERT_TRUE(std::filesystem::exists(socket)) << "Xvfb did not start";
    }

    void TearDown() override {
        stop(program_);
        stop(xvfb_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    void start_program() {
        const std::string start = (folder_ / "start").string();
        // No directory is reachable here: a closed port answers at once.
        std::vector<std::string> env = {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb",
                                        "XDG_RUNTIME_DIR=" + folder_.string(),
                                        "LDAPURI=ldap://127.0.0.1:9"};
        const std::filesystem::path saved = std::filesystem::current_path();
        std::filesystem::current_path(start);
        program_ = spawn({PERMSCOPE_PROGRAM}, env, (folder_ / "permscope.log").string());
        std::filesystem::current_path(saved);
    }

    std::string x(const std::string& command) {
        return run("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
    }

    // Top-level windows named "Permscope" that are mapped.
    std::vector<WindowInfo> permscope_windows() {
        std::vector<WindowInfo> windows;
        const std::regex line(
            R"re(^\s*(0x[0-9a-f]+) "Permscope": .*?(\d+)x(\d+)\+(-?\d+)\+(-?\d+))re");
        std::istringstream listing(x("xwininfo -root -children"));
        for (std::string text; std::getline(listing, text);) {
            std::smatch match;
            if (!std::regex_search(text, match, line))
                continue;
            WindowInfo info{match[1], std::stoi(match[2]), std::stoi(match[3]), std::stoi(match[4]),
                            std::stoi(match[5])};
            if (x("xwininfo -id " + info.id).find("IsViewable") != std::string::npos)
                windows.push_back(info);
        }
        return windows;
    }

    QImage screenshot() {
        const std::string file = (folder_ / "root.png").string();
        x("import -window root " + file);
        return QImage(QString::fromStdString(file));
    }

    std::filesystem::path folder_;
    std::string display_;
    pid_t xvfb_ = -1;
    pid_t program_ = -1;
};

TEST_F(X11Session, OneBorderlessWindowWhoseKeyColourShowsTheDesktop) {
    start_program();
    std::vector<WindowInfo> windows;
    for (int i = 0; i < 200 && windows.empty(); ++i) {
        std::this_thread::sleep_for(100ms);
        windows = permscope_windows();
    }
    ASSERT_EQ(windows.size(), 1u) << x("xwininfo -root -children");
    const WindowInfo window = windows.front();
    EXPECT_EQ(window.width, 710);
    EXPECT_EQ(window.height, 593);

    // No system frame: the window asks for no decorations (Motif hints: flags bit 2, decorations
    // 0), and no window manager frame wraps it.
    const std::string hints = x("xprop -id " + window.id + " _MOTIF_WM_HINTS");
    const std::regex motif(R"(= (0x[0-9a-f]+), (0x[0-9a-f]+), (0x[0-9a-f]+))");
    std::smatch fields;
    ASSERT_TRUE(std::regex_search(hints, fields, motif)) << hints;
    EXPECT_TRUE(std::stoul(fields[1], nullptr, 16) & 0x2) << hints;
    EXPECT_EQ(std::stoul(fields[3], nullptr, 16), 0u) << hints;
    EXPECT_NE(x("xprop -id " + window.id + " WM_NAME").find("\"Permscope\""), std::string::npos);

    // The strip below the background picture is key-coloured: once the colour key is on, the
    // white root window shows there, while the picture and the controls stay.
    const QPoint strip(window.x + 300, window.y + 580);
    const QPoint title(window.x + 300, window.y + 40);
    const QPoint user_list(window.x + 600, window.y + 540);
    QImage shot;
    for (int i = 0; i < 100; ++i) {
        shot = screenshot();
        if (!shot.isNull() && shot.pixelColor(strip) == QColor(Qt::white))
            break;
        std::this_thread::sleep_for(200ms);
    }
    ASSERT_FALSE(shot.isNull()) << "no screenshot of the root window";
    EXPECT_EQ(shot.pixelColor(strip), QColor(Qt::white));
    EXPECT_NE(shot.pixelColor(title), QColor(Qt::white));
    EXPECT_NE(shot.pixelColor(title), QColor(255, 0, 255));
    EXPECT_EQ(shot.pixelColor(user_list), QColor(0x40, 0x40, 0x40));
    EXPECT_NE(shot.pixelColor(window.x, window.y + 580), QColor(Qt::white));  // left border
}

}  // namespace

#include "tests/app/x11_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace permscope::app::testing {

using namespace std::chrono_literals;

namespace {

// One line of "xwininfo -root -children" that names a "Permscope" window:
//     0x200006 "Permscope": ("permscope" "Permscope")  710x593+285+215  +285+215
std::optional<WindowInfo> parse_window_line(const std::string& line) {
    const std::string marker = " \"Permscope\": ";
    const auto name = line.find(marker);
    const auto geometry = line.rfind(") ");
    if (name == std::string::npos || geometry == std::string::npos || geometry < name)
        return std::nullopt;
    WindowInfo info;
    std::istringstream(line.substr(0, name)) >> info.id;
    if (std::sscanf(line.c_str() + geometry + 1, " %dx%d+%d+%d", &info.width, &info.height, &info.x,
                    &info.y) != 4)
        return std::nullopt;
    return info;
}

}  // namespace

pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extra_env,
            const std::string& output, int pass_as_fd3) {
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
    if (pass_as_fd3 >= 0)
        posix_spawn_file_actions_adddup2(&actions, pass_as_fd3, 3);
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

void X11Session::SetUp() {
    folder_ =
        std::filesystem::temp_directory_path() / ("permscope-x11-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_ / "start");
    std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
    // Xvfb picks a free display number itself and writes it to the pipe (-displayfd), so
    // parallel tests and other servers on this machine never meet.
    int display_pipe[2];
    ASSERT_EQ(pipe2(display_pipe, O_CLOEXEC), 0);
    xvfb_ = spawn({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-wr",
                   "-nolisten", "tcp"},
                  {}, (folder_ / "xvfb.log").string(), display_pipe[1]);
    close(display_pipe[1]);
    std::string number;
    char c = 0;
    pollfd waiting{display_pipe[0], POLLIN, 0};
    while (poll(&waiting, 1, 10000) == 1 && read(display_pipe[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(display_pipe[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    display_ = ":" + number;
}

void X11Session::TearDown() {
    stop(program_);
    stop(xvfb_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::string> X11Session::program_environment() const {
    return {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "XDG_RUNTIME_DIR=" + folder_.string(),
            "LDAPNOINIT=1"};
}

void X11Session::start_program() {
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(start_folder());
    program_ =
        spawn({PERMSCOPE_PROGRAM}, program_environment(), (folder_ / "permscope.log").string());
    std::filesystem::current_path(saved);
}

std::string X11Session::x(const std::string& command) const {
    return run("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
}

std::vector<WindowInfo> X11Session::permscope_windows() const {
    std::vector<WindowInfo> windows;
    std::istringstream listing(x("xwininfo -root -children"));
    for (std::string text; std::getline(listing, text);) {
        const std::optional<WindowInfo> info = parse_window_line(text);
        if (info && x("xwininfo -id " + info->id).find("IsViewable") != std::string::npos)
            windows.push_back(*info);
    }
    return windows;
}

std::vector<WindowInfo> X11Session::wait_for_window() const {
    std::vector<WindowInfo> windows;
    for (int i = 0; i < 200 && windows.empty(); ++i) {
        std::this_thread::sleep_for(100ms);
        windows = permscope_windows();
    }
    return windows;
}

QImage X11Session::screenshot() const {
    const std::string file = (folder_ / "root.png").string();
    x("import -window root " + file);
    return QImage(QString::fromStdString(file));
}

}  // namespace permscope::app::testing

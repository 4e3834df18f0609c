#pragma once
// A private X server for tests of the real program: Xvfb on a free display number with a white
// root window, stopped (with the program) when the test ends.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

namespace permscope::app::testing {

struct WindowInfo {
    std::string id;
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
};

// Starts a program with extra environment entries, its output going to a file; a descriptor
// given as pass_as_fd3 becomes the program's descriptor 3.
pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extra_env,
            const std::string& output, int pass_as_fd3 = -1);
// SIGTERM, then SIGKILL after five seconds.
void stop(pid_t pid);
// A shell command's standard output.
std::string run(const std::string& command);

class X11Session : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The environment the program runs with on this display, in a start folder of its own, with
    // no reachable directory (a closed port answers at once).
    std::vector<std::string> program_environment() const;
    std::string start_folder() const { return (folder_ / "start").string(); }
    void start_program();

    // A command run with DISPLAY set to this server.
    std::string x(const std::string& command) const;
    // Mapped top-level windows named "Permscope".
    std::vector<WindowInfo> permscope_windows() const;
    // Waits up to 20 s for the first one.
    std::vector<WindowInfo> wait_for_window() const;
    QImage screenshot() const;

    std::filesystem::path folder_;
    std::string display_;
    pid_t xvfb_ = -1;
    pid_t program_ = -1;
};

}  // namespace permscope::app::testing

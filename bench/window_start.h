#pragma once
// The folder read as a user waits for it: the program's own start-up (Form1 built with the real
// Linux services, Load) in a new process, timed from before the process starts until the window's
// users list shows every row of the first read.

#include <optional>
#include <string>

namespace permscope::bench {

struct WindowStart {
    double seconds = 0;
    long peak_kb = 0;
};

// Starts this program again (as /proc/self/exe) with window_start_main's argument, in folder,
// with the directory at uri and base; nothing when it fails or does not show user_rows rows
// within limit seconds.
std::optional<WindowStart> time_window_start(const std::string& uri, const std::string& base,
                                             const std::string& folder, long long user_rows,
                                             double limit);

// The argument that makes main hand over to window_start_main.
inline constexpr const char* kWindowStartArgument = "--window-start";

// The started process: runs the program's start-up offscreen and reports on file descriptor 3
// once the users list holds user_rows rows. Returns the exit status.
int window_start_main(int argc, char* argv[]);

}  // namespace permscope::bench

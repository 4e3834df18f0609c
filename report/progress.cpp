#include "report/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "export/workbook.h"

namespace permscope::report {

namespace {

using namespace std::chrono_literals;

constexpr auto kQuietTime = 1s;      // a read that ends sooner shows nothing
constexpr auto kRedrawTime = 500ms;  // time between two drawings of the line

void put(const std::string& text) {
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
}

// A line wider than the terminal would wrap, and going back to its start would then rewrite only
// its last part: the line is cut to one character less than the terminal is wide.
std::string fitted(const std::string& line) {
    winsize size{};
    const bool known = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1;
    return std::string(spreadsheet::first_characters(line, known ? size.ws_col - 1u : 79u));
}

}  // namespace

ProgressLine::ProgressLine(std::function<std::string(std::int64_t seconds)> describe)
    : describe_(std::move(describe)) {
    if (::isatty(STDERR_FILENO))
        drawer_ = std::thread([this] { draw_until_done(); });
}

ProgressLine::~ProgressLine() {
    if (!drawer_.joinable())
        return;
    {
        const std::lock_guard lock(mutex_);
        done_ = true;
    }
    done_changed_.notify_one();
    drawer_.join();
}

void ProgressLine::draw_until_done() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    if (done_changed_.wait_for(lock, kQuietTime, [this] { return done_; }))
        return;
    do {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        // "\r" goes back to the line's start and "\033[K" clears what an earlier, longer line
        // left there.
        put("\r" + fitted("permscope-report: " + describe_(seconds)) + "\033[K");
        shown_ = true;
    } while (!done_changed_.wait_for(lock, kRedrawTime, [this] { return done_; }));
    put("\r\033[K");
    shown_ = false;
}

void ProgressLine::say(const std::string& line) {
    const std::lock_guard lock(mutex_);
    // The progress line is cleared for the text; the next drawing puts it below.
    put((shown_ ? "\r\033[K" : "") + line + "\n");
    shown_ = false;
}

ReadProgress::ReadProgress(ResultList& users, ResultList& groups)
    : users_(users), groups_(groups), line_([this](std::int64_t seconds) {
          return "reading … " + std::to_string(seconds) + " s, " +
                 std::to_string(user_rows_.rows()) + " users, " +
                 std::to_string(group_rows_.rows()) + " groups";
      }) {
    users_.set_observer(&user_rows_);
    groups_.set_observer(&group_rows_);
}

ReadProgress::~ReadProgress() {
    users_.set_observer(nullptr);
    groups_.set_observer(nullptr);
}

WalkProgress::WalkProgress()
    : line_([this](std::int64_t seconds) {
          const std::lock_guard lock(mutex_);
          return std::to_string(done_) + " folders, " +
                 std::to_string(seconds > 0 ? done_ / seconds : done_) + " folders/s, " + current_;
      }) {}

void WalkProgress::folder_started(const std::string& folder) {
    const std::lock_guard lock(mutex_);
    if (!current_.empty())
        ++done_;
    current_ = folder;
}

}  // namespace permscope::report

#pragma once
// Shows how far a long read has come, on standard error while it is a terminal: from one second
// on, one line rewritten in place twice a second, and erased when the read ends. Where standard
// error is no terminal (a file, a pipe, a cron job's mail) nothing is shown.
//   one folder:  "permscope-report: reading … 3 s, 1204 users, 17 groups"
//   a walk:      "permscope-report: 1830 folders, 610 folders/s, /srv/daten/Projekte/2024"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/result_list.h"

namespace permscope::report {

class ProgressLine {
  public:
    // describe gives the line's text (without the program's name) after so many seconds. It is
    // called on the line's own thread: it reads only what may be read from there.
    explicit ProgressLine(std::function<std::string(std::int64_t seconds)> describe);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Writes a line of text to standard error, above the progress line where one is shown.
    void say(const std::string& line);

  private:
    void draw_until_done();

    std::function<std::string(std::int64_t)> describe_;
    std::mutex mutex_;
    std::condition_variable done_changed_;
    bool done_ = false;
    bool shown_ = false;  // a line stands on the terminal
    std::thread drawer_;
};

// The progress of one folder read: the rows of its two lists so far.
class ReadProgress {
  public:
    // Follows the two lists from construction to destruction; they must outlive this object and
    // carry no other observer meanwhile.
    ReadProgress(ResultList& users, ResultList& groups);
    ~ReadProgress();
    ReadProgress(const ReadProgress&) = delete;
    ReadProgress& operator=(const ReadProgress&) = delete;

  private:
    // Counts a list's rows where the line can read them: the read appends on the main thread,
    // the line is drawn on its own.
    class RowCounter : public ResultList::Observer {
      public:
        std::int64_t rows() const { return rows_.load(std::memory_order_relaxed); }

      private:
        void list_cleared() override { rows_.store(0, std::memory_order_relaxed); }
        void row_appended(ResultList::Position position) override {
            rows_.store(position, std::memory_order_relaxed);
        }
        void row_changed(ResultList::Position) override {}
        std::atomic<std::int64_t> rows_{0};
    };

    RowCounter user_rows_;
    RowCounter group_rows_;
    ResultList& users_;
    ResultList& groups_;
    ProgressLine line_;
};

// The progress of a walk over a folder tree: the folders done, how many a second, and the folder
// being read.
class WalkProgress {
  public:
    WalkProgress();
    // The walk reports each folder as it starts on it.
    void folder_started(const std::string& folder);
    void say(const std::string& line) { line_.say(line); }

  private:
    std::mutex mutex_;
    std::int64_t done_ = 0;
    std::string current_;
    ProgressLine line_;
};

}  // namespace permscope::report

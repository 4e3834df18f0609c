#pragma once
// Shows how far a long folder read has come, on standard error while it is a terminal: from one
// second on, one line "permscope-report: reading … 3 s, 1204 users, 17 groups" rewritten in place
// twice a second, and erased when the read ends. Where standard error is no terminal (a file, a
// pipe, a cron job's mail) nothing is shown.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/result_list.h"

namespace permscope::report {

class ProgressLine {
  public:
    // Follows the two lists from construction to destruction; they must outlive this object and
    // carry no other observer meanwhile.
    ProgressLine(ResultList& users, ResultList& groups);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

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

    void draw_until_done();

    ResultList& users_;
    ResultList& groups_;
    RowCounter user_rows_;
    RowCounter group_rows_;
    std::mutex mutex_;
    std::condition_variable done_changed_;
    bool done_ = false;
    std::thread drawer_;
};

}  // namespace permscope::report

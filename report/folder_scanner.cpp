#include "report/folder_scanner.h"

#include <exception>

#include "platform/sub_folders.h"

namespace permscope::report {

FolderScanner::FolderScanner(platform::ManagementLayer& management, int max_depth,
                             bool cross_mounts, unsigned workers)
    : management_(management), max_depth_(max_depth), cross_mounts_(cross_mounts) {
    for (unsigned i = 0; i < std::max(workers, 1u); ++i)
        workers_.emplace_back([this] { work(); });
}

FolderScanner::~FolderScanner() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    queued_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

std::vector<std::future<FolderScan>> FolderScanner::scan_first(
    const std::vector<std::string>& folders, int depth) {
    std::vector<std::packaged_task<FolderScan()>> tasks;
    std::vector<std::future<FolderScan>> scans;
    for (const std::string& folder : folders) {
        tasks.emplace_back([this, folder, depth] { return scan(folder, depth); });
        scans.push_back(tasks.back().get_future());
    }
    {
        const std::lock_guard lock(mutex_);
        for (auto task = tasks.rbegin(); task != tasks.rend(); ++task)
            queue_.push_front(std::move(*task));
    }
    queued_.notify_all();
    return scans;
}

FolderScan FolderScanner::scan(const std::string& folder, int depth) const {
    FolderScan scan{folder, depth, {}, {}, {}, {}};
    scan.descriptor = rights::read_descriptor(folder, management_, scan.outcome);
    if (depth >= max_depth_)
        return scan;
    try {
        scan.sub_folders = platform::list_sub_folders(folder, cross_mounts_);
    } catch (const std::exception& failure) {
        scan.listing_problem = failure.what();
    }
    return scan;
}

void FolderScanner::work() {
    for (;;) {
        std::packaged_task<FolderScan()> task;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();
    }
}

}  // namespace permscope::report

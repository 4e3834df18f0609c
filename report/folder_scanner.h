#pragma once
// Reads the access lists and sub-folders of the folders a walk will come to, on worker threads,
// ahead of the walk. The folders asked for last are read first: the walk asks for a folder's
// sub-folders when it comes to the folder, and goes into them before it goes on with the
// folder's siblings.

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/management.h"
#include "rights/folder_read.h"

namespace permscope::report {

struct FolderScan {
    std::string folder;
    int depth = 0;
    rights::FolderReadOutcome outcome;
    std::optional<platform::SecurityDescriptor> descriptor;  // as read, SIDs not yet named
    std::vector<std::string> sub_folders;  // names, in byte order; none at the depth limit
    std::string listing_problem;           // why they could not be listed
};

class FolderScanner {
  public:
    // max_depth: folders at this depth are not listed. The management layer must allow reads
    // from several threads at once.
    FolderScanner(platform::ManagementLayer& management, int max_depth, bool cross_mounts,
                  unsigned workers);
    // Waits for the reads under way; reads not started are dropped.
    ~FolderScanner();
    FolderScanner(const FolderScanner&) = delete;
    FolderScanner& operator=(const FolderScanner&) = delete;

    // Queues reads of the folders, all at depth, before every read queued earlier.
    std::vector<std::future<FolderScan>> scan_first(const std::vector<std::string>& folders,
                                                    int depth);

  private:
    FolderScan scan(const std::string& folder, int depth) const;
    void work();

    platform::ManagementLayer& management_;
    int max_depth_;
    bool cross_mounts_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::packaged_task<FolderScan()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace permscope::report

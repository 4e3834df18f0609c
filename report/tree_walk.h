#pragma once
// A walk over a folder tree: the folder and its sub-folders down to a depth, depth first in byte
// order of the names. Each folder is reported as the same as its parent (its access list as read
// equals the parent's: the same entries in the same order with the same names, types and masks),
// in full (both lists exactly as a read of that folder alone gives them; the top folder always),
// or as a folder that cannot be read. Access lists and sub-folders are read by workers ahead of the
// walk; the folders are resolved and reported one after the other on the calling thread.

#include <functional>
#include <string>

#include "platform/management.h"
#include "report/folder_report.h"
#include "rights/walk_reader.h"

namespace permscope::report {

struct WalkSettings {
    int depth = 0;              // levels below the folder
    bool cross_mounts = false;  // walk into mount points below the folder
    unsigned workers = 0;       // readers of access lists; 0: as many as pay off for the folder
};

struct WalkedFolder {
    enum class State { Full, SameAsParent, Unreadable };
    State state = State::Full;
    int depth = 0;
    // The folder as the report gives it; the lists and their problem when reported in full.
    FolderReport report;
    std::string cause;  // why the folder cannot be read
    // Why the folder's sub-folders could not be listed; empty when they could (or were not asked).
    std::string listing_problem;
};

// The text of the sub-folder name of folder: folder, a separator and the name, the separator a
// "\" for a share path written with backslashes and a "/" otherwise, none where folder ends with
// one.
std::string sub_folder_path(const std::string& folder, const std::string& name);

// Walks from root, handing each folder to each as it is done; starting is told of each folder
// before it is resolved. Exceptions of either end the walk.
void walk_tree(const std::string& root, const WalkSettings& settings,
               platform::ManagementLayer& management, rights::WalkReader& reader,
               const std::function<void(const WalkedFolder&)>& each,
               const std::function<void(const std::string&)>& starting = {});

}  // namespace permscope::report

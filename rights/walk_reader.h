#pragma once
// The folders of a walk over a folder tree, read one after the other: each folder's lists exactly
// as a read of that folder alone gives them, while the walk names every SID and resolves every
// trustee through the directory once, and builds the lists of one access list once.
//
// What is shared between folders changes no row: the rows a trustee's resolution enters depend
// only on its name and the directory's answers, and so are noted once and entered again into the
// next folder's lists, where positions, head-group texts, rights merges and the sub-group pass
// are worked out afresh; two folders with the same access list get the same lists. For the
// group resolution the whole walk is one read, which ends at finish(): the directory's answers
// are kept for all its folders, and a directory that cannot be reached costs its time-out once.

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "directory/directory_provider.h"
#include "directory/group_resolver.h"
#include "directory/sid_names.h"
#include "platform/management.h"
#include "platform/system_sid_naming.h"
#include "rights/folder_read.h"
#include "rights/folder_reader.h"

namespace permscope::rights {

class WalkReader {
  public:
    // domain_name is asked at every resolution. The provider must outlive the reader.
    WalkReader(directory::DirectoryProvider& directory, std::function<std::string()> domain_name);
    ~WalkReader();
    WalkReader(const WalkReader&) = delete;
    WalkReader& operator=(const WalkReader&) = delete;

    struct Read {
        std::shared_ptr<const FolderLists> lists;
        // What kept the directory from answering while these lists were built, as the message
        // GroupResolver::folder_read_finished gives; empty when the lists are complete.
        std::string directory_problem;
    };

    // The lists of a folder whose descriptor (read_descriptor) this is; outcome.problem tells of
    // SIDs whose names could not be looked up.
    Read read(platform::SecurityDescriptor descriptor, FolderReadOutcome& outcome);
    // The lists of a folder whose access list, its trustees named, this is.
    Read read(const std::vector<platform::AccessEntry>& access_list);

    // Ends the walk: the kept answers are dropped, and an unreachable directory is tried again at
    // the next read. Returns the directory's problem, empty when there was none.
    std::string finish();

  private:
    // Text hashing that finds a std::string by a std::string_view.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::string_view kept_text(std::string_view text);
    std::string check(FolderLists& lists, std::string& name, std::string head_group,
                      std::string& created_entries, bool& shareable);
    void keep(std::string key, const Read& read);

    directory::DirectoryProvider& directory_;
    directory::GroupResolver resolver_;
    // Names SIDs as a folder read does (the machine's identity service, then the directory),
    // each SID once for the walk.
    std::unique_ptr<platform::SidNaming> system_sid_naming_;
    directory::DirectorySidNaming directory_sid_naming_;
    platform::SidNamingChain sid_naming_;
    std::unique_ptr<platform::SidNaming> kept_sid_names_;
    // Every text of a noted row, once: the noted rows point into it.
    std::unordered_set<std::string, TextHash, std::equal_to<>> texts_;
    std::unordered_map<std::string, std::vector<directory::EnteredRow>> resolved_;
    // The lists of the last access lists read, oldest first, as many as hold kKeptRows rows.
    std::unordered_map<std::string, Read> kept_;
    std::deque<std::string> kept_order_;
    std::size_t kept_rows_ = 0;
};

}  // namespace permscope::rights

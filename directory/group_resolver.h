#pragma once
// Classifies each trustee of a folder's access list as user or group in the directory, enters it
// into the users or groups list and expands groups through their members, nested groups included.

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/result_list.h"

namespace permscope::directory {

class AnswerStore;
enum class CategorySplit;
class DirectoryProvider;
class RowIndex;

// How a resolution does its work. The results are the same either way; the defaults are the fast
// path, and switching everything off gives one search per query and one walk over all rows per
// name (the way to compare the two).
struct ResolutionOptions {
    // Ask for the members of a group many names per search before they are resolved one by one.
    bool batch_lookups = true;
    // Answer a query that ran before in the same folder read from memory (batches need this).
    bool keep_answers = true;
    // Find rows by name through an index instead of walking the whole list.
    bool row_index = true;
    // Names per batch search.
    std::size_t batch_size = 64;

    static ResolutionOptions one_name_at_a_time() { return {false, false, false, 64}; }
};

// One row that a resolution entered: in which list, under which name, reached through which head
// group (empty for the trustee itself). The rows a resolution enters depend only on the name and
// the directory's answers, not on the rows the lists already hold: where a row lands, and how its
// head-group text grows, is decided as it is entered.
struct EnteredRow {
    bool group = false;
    std::string_view name;
    std::string_view head_group;
};
// Told of each row as it is entered; the texts live only for the call.
using RowEntered = std::function<void(const EnteredRow&)>;

class GroupResolver {
  public:
    // domain_name is asked at every resolution (the window's domain selector text).
    GroupResolver(DirectoryProvider& provider, std::function<std::string()> domain_name,
                  ResolutionOptions options = {});
    ~GroupResolver();
    GroupResolver(const GroupResolver&) = delete;
    GroupResolver& operator=(const GroupResolver&) = delete;

    // Resolves strUserGroup reached through the head group MemberFrom (empty for a trustee named
    // directly) into rows of users or groups. strUserGroup becomes the directory's Name of a user
    // that the directory knows. Every row created or found on the way is appended to
    // strCreatedListEntries as ",<position>-User" or ",<position>-Group", depth first; the call
    // returns that list.
    std::string Group_check(ResultList& users, ResultList& groups, std::string& strUserGroup,
                            std::string MemberFrom, std::string& strCreatedListEntries);

    // The same, telling entered of every row it enters, in order. Entering those rows into other
    // lists (enter_rows) does there what this call would do, as long as the directory answers the
    // same: a walk over many folders resolves each trustee once.
    std::string Group_check(ResultList& users, ResultList& groups, std::string& strUserGroup,
                            std::string MemberFrom, std::string& strCreatedListEntries,
                            const RowEntered& entered);
    std::string enter_rows(ResultList& users, ResultList& groups, std::span<const EnteredRow> rows,
                           std::string& strCreatedListEntries);

    // Called after each folder read: the kept answers are dropped, and unreachable servers may be
    // tried again at the next read. Returns what kept the read from the directory, as a message
    // for the user; empty when nothing did.
    std::string folder_read_finished();

  private:
    struct Resolution;
    void resolve(Resolution& resolution, std::string& name, const std::string& head_group,
                 const std::string* member_dn);
    bool resolve_kept_user(Resolution& resolution, std::string& name, const std::string& head_group,
                           const std::string& base);
    void expand_members(Resolution& resolution);
    const std::string& current_base();
    void look_up_members_in_batches(const std::string& base, const std::string& group_dn,
                                    const std::vector<std::string>& member_dns);
    std::vector<ResultList::Position> rows_named(RowIndex& index, const ResultList& list,
                                                 const std::string& name) const;
    struct RowKind;
    static const RowKind kUserRow;
    static const RowKind kGroupRow;
    void enter_row(Resolution& resolution, ResultList& list, RowIndex& index, const RowKind& kind,
                   const std::string& name, std::string head_group);

    DirectoryProvider& provider_;
    std::function<std::string()> domain_name_;
    std::string base_domain_;  // the domain name base_ was built from
    std::string base_;
    ResolutionOptions options_;
    std::unique_ptr<AnswerStore> answers_;
    // Groups (base and distinguished name) whose members went into batches in this read.
    std::unordered_set<std::string> batched_groups_;
    // Per base name: whether batch answers can be split by category on this side. Kept across
    // reads: it is a property of the directory.
    std::unordered_map<std::string, CategorySplit> category_splits_;
    std::string lookup_text_;  // a buffer for the lookup texts built name by name
    std::unique_ptr<RowIndex> user_index_;
    std::unique_ptr<RowIndex> group_index_;
};

}  // namespace permscope::directory

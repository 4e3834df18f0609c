#pragma once
// Classifies each trustee of a folder's access list as user or group in the directory, enters it
// into the users or groups list and expands groups through their members, nested groups included.

#include <functional>
#include <memory>
#include <optional>
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
class EntryIndex;
class QuerySession;
class RowIndex;

// How a resolution does its work. The results are the same either way; the defaults are the fast
// path, and switching everything off gives one search per query and one walk over all rows per
// name (the way to compare the two).
struct ResolutionOptions {
    // Ask for the members of a group many names per search before they are resolved one by one.
    bool batch_lookups = true;
    // Answer a lookup from the entries the read has been told about (batches need this).
    bool keep_answers = true;
    // Find rows by name through an index instead of walking the whole list.
    bool row_index = true;
    // Names per batch search.
    std::size_t batch_size = 64;
    // Once a read has met this many names to look up, it reads all groups and users in a
    // search each instead of by batches; 0 never does. A batch search of 64 names costs the
    // directory about what a paged read of 250 entries does (slapd, 100,000 users: 1.3 s of
    // server time for 1,600 batches against 0.37 s for all 101,000 entries), so reading
    // everything pays once a read needs a fair share of the directory. Measured on the
    // benchmark's organisations (whole runs of one read, medians of ten): at 10,000 users the
    // read takes 0.66 of the batches' time switching at 2,000 names, and 0.93 of that switching
    // at 1,000; at 100,000 users 1,024 and 4,096 do not differ. 2,000 keeps a folder of a thousand
    // users (about 1,010 names) on batches, where the read stays within what it asks for.
    std::size_t bulk_threshold = 2000;
    // Such a read stops, and the read goes on by batches, once the groups' search has brought
    // this many groups per name the read has met, or the users' search this many users per
    // name the read and all groups' members name: a folder that reaches a small part of a large
    // directory does not pull all of it. It is tried again once the read has met twice as many
    // names, so what stopped reads cost stays below what the last one brings. At about 4 µs an
    // entry against 12 µs a name by batches (slapd, 100,000 users), reading twice the entries
    // needed still pays.
    std::size_t bulk_entries_per_name = 2;

    static ResolutionOptions one_name_at_a_time() { return {false, false, false, 64, 0, 2}; }
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

    // Called after each folder read (a walk over a folder tree calls it once, at the walk's end):
    // the kept answers are dropped, and unreachable servers may be tried again at the next read.
    // Returns what kept the read from the directory, as a message for the user; empty when
    // nothing did.
    std::string folder_read_finished();

  private:
    struct Resolution;
    std::string check(ResultList& users, ResultList& groups, std::string& strUserGroup,
                      const std::string& MemberFrom, std::string& strCreatedListEntries,
                      const RowEntered* entered);
    void resolve(Resolution& resolution, std::string& name, const std::string& head_group,
                 const std::string* member_dn);
    void expand_members(Resolution& resolution);
    const std::string& current_base();
    bool entries_serve(const std::string& base) const;
    std::optional<std::string> account_name_of(const std::string& base, const std::string& dn,
                                               const std::function<QuerySession&()>& open_session);
    void look_up_members_in_batches(const std::string& base, const std::string& group_dn,
                                    std::vector<const std::string*> level);
    bool follow_known(const std::string& base, const std::string& name,
                      std::vector<const std::string*>& next);
    std::span<const ResultList::Position> rows_named(RowIndex& index, const ResultList& list,
                                                     const std::string& name);
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
    // The entries the directory told this read about (and earlier reads, where they are kept),
    // all under base_.
    std::unique_ptr<EntryIndex> entries_;
    std::string entries_base_;
    // The answers to queries run one at a time (reads of single objects, primary-group members,
    // lookups the entries cannot answer), kept for the read.
    std::unique_ptr<AnswerStore> answers_;
    // Groups (base and distinguished name) whose members went into batches in this read.
    std::unordered_set<std::string> batched_groups_;
    std::size_t names_batched_ = 0;   // in this read
    std::size_t next_bulk_read_ = 0;  // names a read meets before it reads everything again
    // Per base name: whether batch answers can be split by category on this side. Kept across
    // reads: it is a property of the directory.
    std::unordered_map<std::string, CategorySplit> category_splits_;
    std::unique_ptr<RowIndex> user_index_;
    std::unique_ptr<RowIndex> group_index_;
    std::vector<ResultList::Position> walked_rows_;  // rows_named's answer without an index
};

}  // namespace permscope::directory

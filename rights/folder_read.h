#pragma once
// The folder read: shows who holds which rights on one folder. It reads the folder's access list
// through the management layer, lets the window's Group_check classify each trustee and create or
// find its rows, writes each entry's rights text into every row that Group_check names (the
// created-entries list), and at the end fills the SubGroups column of the group rows.
//
// Every step runs under "skip on failure" handling: nothing is shown, logged or thrown. A folder
// that cannot be read leaves both lists empty; the outcome tells the front end how the read went.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result_list.h"
#include "platform/management.h"
#include "platform/security_identifiers.h"

namespace permscope::rights {

// The created-entries list that Group_check returns: ",3-Group,4-User,5-User" names group row 3
// and user rows 4 and 5, every row that the resolution of one trustee created or found.

enum class RowKind { User, Group };

struct CreatedEntry {
    RowKind kind;
    ResultList::Position position;
};

// Reads one piece (the text between two commas). A piece whose last four characters are "User"
// names the user row given by the piece without its last five characters; any other piece names
// the group row given by the piece without its last six. Empty when that position is not a plain
// decimal number (or the piece is too short to hold one).
std::optional<CreatedEntry> parse_created_entry(std::string_view piece);

// Writes rights_text into every row the list names, in order: user rows by merge_user_rights,
// group rows by append_group_rights. The text before the first comma is not an entry. A piece
// that names no row, or no number, is skipped and the walk goes on.
void write_rights_to_created_entries(std::string_view created_entries,
                                     const std::string& rights_text, ResultList& users,
                                     ResultList& groups);

// Writing one rights text into one row of the result lists.

// A user row's Rights column (sub-item 2) collects the texts of every entry that reached the user,
// joined by "; " in the order they came. A row with fewer than two sub-items, or with an empty
// second one, gets the text appended as a new sub-item. Otherwise the text is added unless some
// piece of the Rights text, leading blanks removed, already equals it.
// Throws std::out_of_range when position names no row.
void merge_user_rights(ResultList& users, ResultList::Position position,
                       const std::string& rights_text);

// Form1::Group_check: resolves one name, may overwrite strUserGroup, returns the created-entries
// list (",3-Group,4-User,…").
using GroupCheck = std::function<std::string(std::string& strUserGroup, std::string MemberFrom,
                                             std::string& strCreatedListEntries)>;

// What the window does at the start of a read.
class ReadHooks {
  public:
    virtual ~ReadHooks() = default;
    // Hourglass pointer on the hidden tree, repaint, let pending window events run once. A read
    // that one of those events starts runs to its end here, before this read empties the lists.
    virtual void read_starting() = 0;
};

// How one folder read went, for the front ends (the window, the report command).
struct FolderReadOutcome {
    // False when the folder's access list could not be read: both lists stay empty.
    bool access_list_read = false;
    // Why it could not be read, in words for the user (the management layer's error text).
    std::string cause;
    // What the user must be told although the lists show what they show: a share server that
    // could not be reached, stalled, dropped the connection or refused the session, or names that
    // could not be looked up. Empty when there is nothing to tell. The window shows it in its
    // problem box, beside the directory's own problem text (GroupResolver::folder_read_finished).
    std::string problem;
};

// Reads the folder strpath (local path or share path, used unchanged) into users and groups:
// read_descriptor, named_access_list, read_access_entries. An empty access list (or a descriptor
// without one) counts as read.
// Trustees that the access list gives only as SIDs (a mounted share's raw descriptor, a share
// server whose name lookup failed) are named by sid_naming, all in one call, before the first is
// resolved; without it, or where it names none, a SID stays its S-1-… text.
FolderReadOutcome find_dir_rights(const std::string& strpath, ResultList& users, ResultList& groups,
                                  platform::ManagementLayer& management,
                                  const GroupCheck& group_check, ReadHooks& hooks,
                                  platform::SidNaming* sid_naming = nullptr);

// The text that tells the user which SIDs are shown because their names could not be looked up:
// cause, then the SIDs (the first five, and how many more), then that the lists may be incomplete.
std::string unnamed_accounts_problem(const std::string& cause,
                                     const std::vector<std::string>& sids);

// The two steps of a folder read, for a caller that reads many folders and resolves some of them:
// the descriptor, which needs only the management layer (and may be read on any thread when its
// provider allows it), then the names and the rows, which need the directory.

// Binds the folder's security setting and reads its descriptor, outcome.access_list_read then
// true. Nothing when the folder cannot be read; the outcome then says why, and what the user must
// be told.
std::optional<platform::SecurityDescriptor> read_descriptor(const std::string& strpath,
                                                            platform::ManagementLayer& management,
                                                            FolderReadOutcome& outcome);

// The descriptor's access list, its trustees named where the descriptor gives SIDs alone (by
// sid_naming, all in one call); outcome.problem tells of the SIDs whose names could not be looked
// up. Empty for a descriptor without an access list.
std::vector<platform::AccessEntry> named_access_list(platform::SecurityDescriptor descriptor,
                                                     platform::SidNaming* sid_naming,
                                                     FolderReadOutcome& outcome);

// Fills users and groups, which the caller has emptied, from the entries in order (each trustee
// through group_check, its rights into the rows it names), then runs the sub-group pass. An empty
// list leaves both lists empty.
void read_access_entries(const std::vector<platform::AccessEntry>& access_list, ResultList& users,
                         ResultList& groups, const GroupCheck& group_check);

// The sub-group pass at the end of a folder read.

// Fills each group row's SubGroups column (sub-item 2) with the names of the group rows whose
// HeadGroup text (sub-item 1, cut at ";") has a piece equal to the row's name, exactly, without
// trimming. For every match the name is added behind the SubGroups text, after a ";" when that
// text is not empty. Matches come in list order of the naming rows, and within one row in the
// order of its pieces: a row that names another twice is listed twice; a row that names itself
// lists itself. "is Head" matches no group name, and " B" (a blank after the separator of "A; B")
// does not match B.
//
// The result is that of comparing every pair of rows piece by piece, but the work is linear in
// the number of HeadGroup pieces and matches: rows are found by name through a hash index. A row
// without a HeadGroup sub-item names nothing; a row without a SubGroups sub-item is left as it is.
void fill_sub_groups(ResultList& groups);

}  // namespace permscope::rights

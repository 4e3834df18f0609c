#pragma once
// The folder read: shows who holds which rights on one folder. It reads the folder's access list
// through the management layer, lets the window's Group_check classify each trustee and create or
// find its rows, writes each entry's rights text into every row that Group_check names, and at
// the end fills the SubGroups column of the group rows.
//
// Every step runs under "skip on failure" handling: nothing is shown, logged or thrown. A folder
// that cannot be read leaves both lists empty.

#include <functional>
#include <string>

#include "common/result_list.h"
#include "platform/management.h"

namespace permscope::rights {

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

// Reads the folder strpath (local path or share path, used unchanged) into users and groups.
void find_dir_rights(const std::string& strpath, ResultList& users, ResultList& groups,
                     platform::ManagementLayer& management, const GroupCheck& group_check,
                     ReadHooks& hooks);

}  // namespace permscope::rights

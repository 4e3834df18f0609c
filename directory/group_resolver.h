#pragma once
// Classifies each trustee of a folder's access list as user or group in the directory, enters it
// into the users or groups list and expands groups through their members, nested groups included.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/result_list.h"

namespace permscope::directory {

class DirectoryProvider;
class RowIndex;

class GroupResolver {
  public:
    // domain_name is asked at every resolution (the window's domain selector text).
    GroupResolver(DirectoryProvider& provider, std::function<std::string()> domain_name);
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

    // Called after each folder read: unreachable servers may be tried again at the next read.
    void folder_read_finished();

  private:
    struct Resolution;
    void resolve(Resolution& resolution, std::string& name, const std::string& head_group,
                 const std::string* member_dn);
    void expand_members(Resolution& resolution);
    void enter_user_row(Resolution& resolution, const std::string& name, std::string head_group);
    void enter_group_row(Resolution& resolution, const std::string& name, std::string head_group);

    DirectoryProvider& provider_;
    std::function<std::string()> domain_name_;
    std::unique_ptr<RowIndex> user_index_;
    std::unique_ptr<RowIndex> group_index_;
};

}  // namespace permscope::directory

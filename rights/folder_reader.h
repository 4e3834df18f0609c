#pragma once
// One folder read as both front ends run it, the window and the report command: the domain the
// machine reports, the folder read with every trustee named and resolved through the directory,
// and what the user must be told about the read.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/result_list.h"
#include "directory/directory_provider.h"
#include "directory/group_resolver.h"
#include "directory/sid_names.h"
#include "platform/management.h"
#include "platform/system_sid_naming.h"
#include "rights/folder_read.h"

namespace permscope::rights {

// The Win32_NTDomain instances of the local management service, front to back; none when the
// service cannot be reached or asked.
std::vector<std::unique_ptr<platform::ManagementObject>> domain_instances(
    platform::ManagementLayer& management);

// The domain name the window's domain selector holds after start-up: the DnsForestName of the
// first domain instance that has one. Empty when there is none.
std::string first_forest_name(platform::ManagementLayer& management);

// The two lists that one folder read fills, as the window shows them.
struct FolderLists {
    ResultList users;   // the window's LvUser
    ResultList groups;  // the window's LvGroups
};

// How one folder read went, with the directory's word on it.
struct FolderReadResult {
    FolderReadOutcome outcome;
    // What kept the read from the directory (GroupResolver::folder_read_finished); empty when
    // nothing did.
    std::string directory_problem;

    // Everything the user must be told, one message a line: the directory's problem, then the
    // folder read's. Empty when the lists are complete.
    std::string problem() const;
};

class FolderReader {
  public:
    // domain_name is asked at every resolution. Both services must outlive the reader.
    FolderReader(platform::ManagementLayer& management, directory::DirectoryProvider& directory,
                 std::function<std::string()> domain_name);

    // Group_check: resolves one trustee into users and groups through the directory and returns
    // the created-entries list.
    std::string Group_check(ResultList& users, ResultList& groups, std::string& strUserGroup,
                            std::string MemberFrom, std::string& strCreatedListEntries);

    // Reads the folder strpath into users and groups, each trustee through group_check (the
    // window passes its own Group_check, which comes back here).
    FolderReadResult read(const std::string& strpath, ResultList& users, ResultList& groups,
                          const GroupCheck& group_check, ReadHooks& hooks);
    // The same, each trustee through this reader's Group_check on the same lists.
    FolderReadResult read(const std::string& strpath, ResultList& users, ResultList& groups,
                          ReadHooks& hooks);

  private:
    platform::ManagementLayer& management_;
    directory::GroupResolver resolver_;
    // Names the trustees that an access list gives as SIDs alone: the machine's identity service
    // where it runs one, then the directory.
    std::unique_ptr<platform::SidNaming> system_sid_naming_;
    directory::DirectorySidNaming directory_sid_naming_;
    platform::SidNamingChain sid_naming_;
};

}  // namespace permscope::rights

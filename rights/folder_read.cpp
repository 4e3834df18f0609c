#include "rights/folder_read.h"

#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "rights/created_entries.h"
#include "rights/moniker.h"
#include "rights/rights_text.h"
#include "rights/sub_groups.h"

namespace permscope::rights {

namespace {

// Binds the folder's security setting and reads its access list. Empty when the folder cannot be
// read; a descriptor without an access list gives an empty list as well.
std::optional<std::vector<platform::AccessEntry>> read_access_list(
    const std::string& strpath, platform::ManagementLayer& management) {
    try {
        std::unique_ptr<platform::SecuritySetting> setting =
            management.GetObject(moniker_for_path(strpath));
        if (!setting)
            return std::nullopt;
        platform::SecurityDescriptor descriptor = setting->GetSecurityDescriptor();
        return std::move(descriptor.dacl);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Group_check for one trustee, with fresh arguments. Should it fail part way, the rows it named
// before failing are those it left in its by-reference list, and they still get the entry's
// rights; no row of an earlier entry does.
std::string resolve_trustee(const std::string& trustee_name, const GroupCheck& group_check) {
    std::string strUserGroup = trustee_name;
    std::string strCreatedListEntries;
    try {
        return group_check(strUserGroup, std::string(), strCreatedListEntries);
    } catch (const std::exception&) {
        return strCreatedListEntries;
    }
}

void read_entry(const platform::AccessEntry& entry, ResultList& users, ResultList& groups,
                const GroupCheck& group_check) {
    const std::string created_entries = resolve_trustee(entry.trustee_name, group_check);
    const std::string rights_text = rights_text_for_entry(entry);
    write_rights_to_created_entries(created_entries, rights_text, users, groups);
}

void announce_start(ReadHooks& hooks) {
    try {
        hooks.read_starting();
    } catch (const std::exception&) {
        // The pointer and the repaint are cosmetic; the read goes on without them.
    }
}

}  // namespace

void find_dir_rights(const std::string& strpath, ResultList& users, ResultList& groups,
                     platform::ManagementLayer& management, const GroupCheck& group_check,
                     ReadHooks& hooks) {
    announce_start(hooks);
    groups.clear();
    users.clear();

    const auto access_list = read_access_list(strpath, management);
    if (!access_list || access_list->empty())
        return;

    for (const platform::AccessEntry& entry : *access_list)
        read_entry(entry, users, groups, group_check);
    fill_sub_groups(groups);
}

}  // namespace permscope::rights

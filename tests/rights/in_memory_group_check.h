#pragma once
// Group_check over an in-memory directory, for unit tests of the folder read: a name is a group
// when the directory lists members for it, otherwise a user. Rows are created or found and named
// in the created-entries list the way the window's Group_check does, and each call is recorded
// with the arguments it received.

#include <map>
#include <string>
#include <vector>

#include "common/result_list.h"
#include "common/text.h"
#include "rights/folder_read.h"

namespace permscope::rights::testing {

class InMemoryGroupCheck {
  public:
    struct Call {
        std::string strUserGroup;
        std::string MemberFrom;
        std::string strCreatedListEntries;
    };

    InMemoryGroupCheck(ResultList& users, ResultList& groups) : users_(users), groups_(groups) {}

    void add_group(const std::string& name, std::vector<std::string> members) {
        members_[name] = std::move(members);
    }

    // Only the calls from outside (one per access entry), not the nested ones for members.
    const std::vector<Call>& calls() const { return calls_; }

    GroupCheck as_group_check() {
        return [this](std::string& strUserGroup, std::string MemberFrom,
                      std::string& strCreatedListEntries) {
            calls_.push_back(Call{strUserGroup, MemberFrom, strCreatedListEntries});
            resolve(strUserGroup, MemberFrom, strCreatedListEntries);
            // The real one may overwrite the name with the directory's spelling.
            strUserGroup = "overwritten";
            return strCreatedListEntries;
        };
    }

  private:
    void resolve(const std::string& name, std::string head, std::string& created) {
        const auto group = members_.find(name);
        if (group == members_.end()) {
            note_row(users_, name, head.empty() ? "no Group" : head, "; ", "-User", created);
            return;
        }
        note_row(groups_, name, head.empty() ? "is Head" : head, ";", "-Group", created);
        for (const std::string& member : group->second)
            resolve(member, name, created);
    }

    static void note_row(ResultList& list, const std::string& name, const std::string& head,
                         const char* separator, const char* suffix, std::string& created) {
        ResultList::Position found = 0;
        for (ResultList::Position i = 1; i <= list.count(); ++i) {
            if (list.text(i) != name)
                continue;
            found = i;
            created += "," + std::to_string(i) + suffix;
        }
        if (found == 0) {
            found = list.append(name);
            list.append_sub_item(found, head);
            created += "," + std::to_string(found) + suffix;
            return;
        }
        const std::string& heads = list.sub_item(found, 1);
        if (!name_list_contains(heads, head))
            list.set_sub_item(found, 1, heads.empty() ? head : heads + separator + head);
    }

    ResultList& users_;
    ResultList& groups_;
    std::map<std::string, std::vector<std::string>> members_;
    std::vector<Call> calls_;
};

}  // namespace permscope::rights::testing

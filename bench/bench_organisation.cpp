#include "bench_organisation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "testbed/private_slapd.h"

namespace permscope::bench {

using permscope::testing::OrganisationLdif;

std::vector<int> level_sizes(int groups) {
    const double shares[] = {0.01, 0.04, 0.15, 0.30};
    std::vector<int> sizes;
    int used = 0;
    for (const double share : shares) {
        sizes.push_back(std::max(1, static_cast<int>(std::lround(share * groups))));
        used += sizes.back();
    }
    sizes.push_back(std::max(1, groups - used));
    return sizes;
}

std::string user_name(int u) {
    if (u == 0)
        return "daemon";
    if (u == 1)
        return "bin";
    char text[16];
    std::snprintf(text, sizeof text, "u%06d", u);
    return text;
}

std::string group_name(int g, const std::vector<int>& sizes) {
    if (g == 0)
        return "staff";
    if (g == sizes[0])
        return "adm";
    char text[16];
    std::snprintf(text, sizeof text, "g%05d", g);
    return text;
}

Organisation make_organisation(int users) {
    const int groups = std::max(10, users / 100);
    const std::vector<int> sizes = level_sizes(groups);
    OrganisationLdif o(kDomain);
    const std::string people = o.organisational_unit("People");
    const std::string teams = o.organisational_unit("Groups");
    std::vector<std::string> user_dns;
    user_dns.reserve(static_cast<std::size_t>(users));
    for (int u = 0; u < users; ++u)
        user_dns.push_back(o.user(user_name(u), user_name(u), people));

    // Members of each group: its users (u % groups), every tenth user once more in a second
    // group, and its sub-groups on the next level.
    std::vector<std::vector<std::string>> members(static_cast<std::size_t>(groups));
    for (int u = 0; u < users; ++u) {
        members[static_cast<std::size_t>(u % groups)].push_back(user_dns[u]);
        if (u % 10 == 0) {
            int second = (u * 7 + 3) % groups;
            if (second == u % groups)
                second = (second + 1) % groups;
            members[static_cast<std::size_t>(second)].push_back(user_dns[u]);
        }
    }
    std::vector<std::string> top_members;
    int first = 0;
    std::vector<std::string> group_dns(static_cast<std::size_t>(groups));
    for (int g = 0; g < groups; ++g)
        group_dns[g] = "cn=" + group_name(g, sizes) + "," + teams;
    for (std::size_t level = 0; level < sizes.size(); ++level) {
        for (int j = 0; j < sizes[level]; ++j) {
            const int g = first + j;
            if (level == 0)
                top_members.push_back(group_dns[g]);
            else
                members[static_cast<std::size_t>(first - sizes[level - 1] + j % sizes[level - 1])]
                    .push_back(group_dns[g]);
        }
        first += sizes[level];
    }
    for (int g = 0; g < groups; ++g)
        o.group(group_name(g, sizes), group_name(g, sizes), members[g], teams);
    o.group("users", "users", top_members, teams);
    return {o.text(), o.suffix(), groups};
}

}  // namespace permscope::bench

#pragma once
// The benchmarks' organisation: users in groups nested five levels under one top group ("users"),
// some users in two groups, in the shape of the private slapd's AD-like schema.

#include <string>
#include <vector>

namespace permscope::bench {

inline constexpr const char* kDomain = "bench.test";

struct Organisation {
    std::string ldif;
    std::string suffix;
    int groups = 0;  // below the top group
};

// users users and users / 100 groups (at least ten). Users are "daemon", "bin" (Debian's own
// accounts, so that setfacl finds them), then u000002 …; groups by level: the first of level 1
// is "staff", the first of level 2 "adm", the others g00002 …
Organisation make_organisation(int users);

// The group counts of the five levels, together groups, each level at least one.
std::vector<int> level_sizes(int groups);
std::string user_name(int u);
// Group g of all groups, numbered level by level.
std::string group_name(int g, const std::vector<int>& sizes);

}  // namespace permscope::bench

// A walk over a folder tree against the 100,000-user organisation, beside what it is made of. A
// private slapd holds the benchmarks' organisation; a tree of 10,000 local folders holds 200
// distinct POSIX access lists, each naming three of its groups (of levels 1, 3 and 4) and a user
// or two: the top folders and about half of the second level break from their parent, a few
// folders of the third level too, the others inherit. Account names come from files of the
// benchmark's own through nss_wrapper (the program starts itself again under it). It times, each
// in a child process of its own, best of three, taken in turn:
//   walk   the report command's walk (walk_tree, workers reading access lists and sub-folders,
//          each folder resolved through the walk's reader) until every folder's lists are built;
//   union  one read of the union of the groups and users those lists name, in one access list:
//          every trustee looked up and expanded once;
//   lists  the 10,000 access lists read alone, one after the other;
// and prints walk/(union + lists) and the walk's peak memory; then the command itself, writing
// CSV and JSON to /dev/null, once each. A benchmark: it prints figures and checks nothing but its
// own counts.
//
//   tree_walk_bench [--users N] [--workers N]
//
// --users: the organisation's size (default 100000); --workers: the walk's readers of access lists
// (default: the walk's own choice).

#include <sys/acl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench_organisation.h"
#include "child_measurement.h"
#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "platform/linux_management.h"
#include "report/tree_walk.h"
#include "rights/folder_read.h"
#include "rights/walk_reader.h"
#include "testbed/private_slapd.h"

namespace {

namespace bench = permscope::bench;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 10'000;
constexpr int kLists = 200;
constexpr int kTopFolders = 20;
constexpr int kSecondLevel = 10;  // below each top folder
constexpr unsigned kGroupIds = 200'000;
constexpr unsigned kUserIds = 300'000;

// ---- the accounts and the access lists ---------------------------------------------------------

struct Trustee {
    bool group = false;
    int number = 0;  // the organisation's group or user number
    const char* permissions = "r-x";
};

// List i: a group of level 1, one of level 3, one of level 4, a user, and for every third list a
// second user. Distinct for every i below 200 (the level-4 group alone tells them apart).
std::vector<Trustee> access_list(int i, int users, const std::vector<int>& sizes) {
    const char* permissions[] = {"rwx", "r-x", "r--"};
    const int level3 = sizes[0] + sizes[1] + sizes[2];
    const int level4 = level3 + sizes[3];
    std::vector<Trustee> list = {{true, sizes[0] + i % sizes[1], permissions[i % 3]},
                                 {true, level3 + (i * 7) % sizes[3], permissions[(i + 1) % 3]},
                                 {true, level4 + (i * 13) % sizes[4], "r--"},
                                 {false, 2 + (i * 499) % (users - 2), "r-x"}};
    if (i % 3 == 0)
        list.push_back({false, 2 + (i * 997 + 1) % (users - 2), "rwx"});
    return list;
}

std::string acl_text(const std::vector<Trustee>& list) {
    std::string text = "u::rwx,g::---,o::---,m::rwx";
    for (const Trustee& t : list)
        text += std::string(t.group ? ",g:" : ",u:") +
                std::to_string((t.group ? kGroupIds : kUserIds) + t.number) + ":" + t.permissions;
    return text;
}

// The passwd and group files nss_wrapper reads: root, every group of the organisation and the
// users the lists name, under ids of their own.
void write_accounts(const std::string& folder, int users, const std::vector<int>& sizes,
                    int groups) {
    std::ofstream passwd(folder + "/passwd"), group(folder + "/group");
    passwd << "root:x:0:0:root:/root:/bin/sh\n";
    group << "root:x:0:\n";
    std::set<int> named;
    for (int i = 0; i < kLists; ++i)
        for (const Trustee& t : access_list(i, users, sizes))
            if (!t.group)
                named.insert(t.number);
    for (const int u : named)
        passwd << bench::user_name(u) << ":x:" << kUserIds + u << ":0::/:/bin/sh\n";
    for (int g = 0; g < groups; ++g)
        group << bench::group_name(g, sizes) << ":x:" << kGroupIds + g << ":\n";
}

// ---- the tree ----------------------------------------------------------------------------------

struct Tree {
    std::string root;
    std::vector<std::string> folders;  // every folder, root first
    int breaks = 0;                    // folders whose list is not their parent's
};

void set_acl(const std::string& folder, const std::string& text) {
    acl_t acl = acl_from_text(text.c_str());
    if (!acl || acl_set_file(folder.c_str(), ACL_TYPE_ACCESS, acl) != 0)
        throw std::runtime_error("cannot set the ACL of " + folder + ": " + std::strerror(errno));
    acl_free(acl);
}

// 20 top folders of 10 folders each, the remaining folders spread evenly below those 200.
Tree make_tree(const std::string& root, int users, const std::vector<int>& sizes) {
    std::vector<std::string> texts;
    for (int i = 0; i < kLists; ++i)
        texts.push_back(acl_text(access_list(i, users, sizes)));
    std::mt19937 random(22);
    std::vector<int> first_uses(kLists);
    std::iota(first_uses.begin(), first_uses.end(), 0);
    std::shuffle(first_uses.begin(), first_uses.end(), random);
    Tree tree{root, {root}, 0};
    // A folder keeps its parent's list, or breaks with one of the lists (each used once first).
    const auto add = [&](const std::string& folder, const std::string& parent_list,
                         double break_chance) {
        std::filesystem::create_directory(folder);
        tree.folders.push_back(folder);
        std::string list = parent_list;
        if (std::uniform_real_distribution<>(0, 1)(random) < break_chance) {
            const int id = tree.breaks < kLists ? first_uses[tree.breaks] : random() % kLists;
            list = texts[id];
            ++tree.breaks;
        }
        set_acl(folder, list);
        return list;
    };
    std::filesystem::create_directories(root);
    set_acl(root, texts[0]);
    const int third_level = kFolders - 1 - kTopFolders - kTopFolders * kSecondLevel;
    int placed = 0;
    for (int t = 0; t < kTopFolders; ++t) {
        const std::string top = root + "/t" + std::to_string(t);
        const std::string top_list = add(top, texts[0], 1.0);
        for (int s = 0; s < kSecondLevel; ++s) {
            const std::string second = top + "/s" + std::to_string(s);
            const std::string second_list = add(second, top_list, 0.5);
            const int index = t * kSecondLevel + s;
            const int below = third_level * (index + 1) / (kTopFolders * kSecondLevel) - placed;
            for (int l = 0; l < below; ++l)
                add(second + "/l" + std::to_string(l), second_list, 0.05);
            placed += below;
        }
    }
    return tree;
}

// ---- measurements ------------------------------------------------------------------------------

struct Measurement {
    double seconds = 0;
    long peak_kb = 0;
    long long count = 0;  // what the measurement counts: entries, rows
    long long full = 0;   // walk: folders in full
};

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs work in a child process, so that its peak memory is its own; nothing when it fails.
std::optional<Measurement> in_child(const std::function<Measurement()>& work) {
    return bench::measure_in_child<Measurement>(work, [](Measurement& m, const rusage& usage) {
        if (m.peak_kb == 0)  // the work's own, or what it measured of a program it started
            m.peak_kb = usage.ru_maxrss;
    });
}

std::unique_ptr<permscope::directory::DirectoryProvider> provider(const std::string& uri) {
    return permscope::directory::make_ldap_directory_provider({uri});
}

Measurement walk(const std::string& uri, const Tree& tree, unsigned workers) {
    const auto management = permscope::platform::make_linux_management();
    const auto directory = provider(uri);
    const Clock::time_point start = Clock::now();
    permscope::rights::WalkReader reader(*directory, [] { return std::string(bench::kDomain); });
    Measurement m;
    long long folders = 0;
    permscope::report::walk_tree(
        tree.root, {3, false, workers}, *management, reader,
        [&](const permscope::report::WalkedFolder& folder) {
            ++folders;
            if (folder.state != permscope::report::WalkedFolder::State::Full)
                return;
            ++m.full;
            m.count += folder.report.users().count();
        });
    reader.finish();
    m.seconds = seconds_since(start);
    if (folders != static_cast<long long>(tree.folders.size()))
        throw std::runtime_error("the walk met " + std::to_string(folders) + " folders");
    return m;
}

// The union of the lists' trustees in one access list, resolved as a folder read resolves it.
Measurement union_read(const std::string& uri, int users, const std::vector<int>& sizes) {
    std::vector<permscope::platform::AccessEntry> entries;
    std::set<std::string> named;
    for (int i = 0; i < kLists; ++i)
        for (const Trustee& t : access_list(i, users, sizes)) {
            const std::string name =
                t.group ? bench::group_name(t.number, sizes) : bench::user_name(t.number);
            if (!named.insert(name).second)
                continue;
            entries.emplace_back();
            entries.back().trustee_name = name;
            entries.back().access_mask = 0x1200A9;
        }
    const auto directory = provider(uri);
    const Clock::time_point start = Clock::now();
    permscope::directory::GroupResolver resolver(*directory,
                                                 [] { return std::string(bench::kDomain); });
    permscope::ResultList user_rows, group_rows;
    permscope::rights::read_access_entries(
        entries, user_rows, group_rows,
        [&](std::string& name, std::string head, std::string& created) {
            return resolver.Group_check(user_rows, group_rows, name, std::move(head), created);
        });
    resolver.folder_read_finished();
    return {seconds_since(start), 0, user_rows.count(), static_cast<long long>(entries.size())};
}

Measurement lists_alone(const Tree& tree) {
    const auto management = permscope::platform::make_linux_management();
    const Clock::time_point start = Clock::now();
    Measurement m;
    for (const std::string& folder : tree.folders) {
        permscope::rights::FolderReadOutcome outcome;
        const auto descriptor = permscope::rights::read_descriptor(folder, *management, outcome);
        m.count +=
            descriptor && descriptor->dacl ? static_cast<long long>(descriptor->dacl->size()) : 0;
    }
    m.seconds = seconds_since(start);
    return m;
}

// The fastest of three of each, taken in turn so that a machine slower for a while slows all.
std::vector<std::optional<Measurement>> best_of_three(
    const std::vector<std::function<Measurement()>>& works) {
    std::vector<std::optional<Measurement>> best(works.size());
    for (int run = 0; run < 3; ++run)
        for (std::size_t i = 0; i < works.size(); ++i)
            if (auto m = in_child(works[i]); m && (!best[i] || m->seconds < best[i]->seconds))
                best[i] = m;
    return best;
}

// The command as a user runs it, its report thrown away: wall time and peak memory, once.
Measurement command(const std::string& uri, const std::string& suffix, const Tree& tree,
                    const std::string& format) {
    const std::string command = "LDAPURI='" + uri + "' LDAPBASE='" + suffix +
                                "' KRB5_CONFIG=/dev/null '" PERMSCOPE_REPORT
                                "' --depth 3 --format " +
                                format + " '" + tree.root + "' >/dev/null";
    const Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("the command failed: " + command);
    Measurement m;
    m.seconds = seconds_since(start);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    m.peak_kb = usage.ru_maxrss;
    return m;
}

int run(int users, unsigned workers) {
    const std::string work = std::getenv("PERMSCOPE_TREE_BENCH_FOLDER");
    const bench::Organisation organisation = bench::make_organisation(users);
    const std::vector<int> sizes = bench::level_sizes(organisation.groups);
    const permscope::testing::PrivateSlapd slapd(organisation.suffix, organisation.ldif);
    const Clock::time_point made = Clock::now();
    const Tree tree = make_tree(work + "/tree", users, sizes);
    std::printf("users=%d groups=%d folders=%zu lists=%d breaks=%d (tree made in %.1f s)\n", users,
                organisation.groups + 1, tree.folders.size(), kLists, tree.breaks,
                seconds_since(made));
    const std::string uri = slapd.uri();
    const auto best = best_of_three({[&] { return walk(uri, tree, workers); },
                                     [&] { return union_read(uri, users, sizes); },
                                     [&] { return lists_alone(tree); }});
    if (!best[0] || !best[1] || !best[2]) {
        std::printf("a measurement failed\n");
        return 1;
    }
    const Measurement &w = *best[0], &u = *best[1], &l = *best[2];
    std::printf("walk   %8.3f s  folders in full=%lld user rows=%lld  peak=%ld MB\n", w.seconds,
                w.full, w.count, w.peak_kb / 1024);
    std::printf("union  %8.3f s  trustees=%lld user rows=%lld  peak=%ld MB\n", u.seconds, u.full,
                u.count, u.peak_kb / 1024);
    std::printf("lists  %8.3f s  access lists=%zu entries=%lld\n", l.seconds, tree.folders.size(),
                l.count);
    for (const char* format : {"csv", "json"})
        if (const auto m = in_child([&] { return command(uri, slapd.suffix(), tree, format); }))
            std::printf("command --depth 3 --format %s >/dev/null  %.3f s  peak=%ld MB\n", format,
                        m->seconds, m->peak_kb / 1024);
    std::printf("walk=%.3f union=%.3f lists=%.3f ratio_walk=%.2f peak_mb=%ld\n", w.seconds,
                u.seconds, l.seconds, w.seconds / (u.seconds + l.seconds), w.peak_kb / 1024);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    int users = 100'000;
    unsigned workers = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--users") == 0 && i + 1 < argc) {
            users = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--workers") == 0 && i + 1 < argc) {
            workers = static_cast<unsigned>(std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--users N] [--workers N]\n", argv[0]);
            return 2;
        }
    }
    if (users < 1000) {
        std::fprintf(stderr, "--users takes at least 1000\n");
        return 2;
    }
    try {
        // First start: the accounts' files, then this program again under nss_wrapper.
        if (!std::getenv("PERMSCOPE_TREE_BENCH_FOLDER")) {
            std::string folder = std::filesystem::temp_directory_path() / "permscope-tree-XXXXXX";
            if (!mkdtemp(folder.data()))
                throw std::runtime_error("cannot make a folder");
            const bench::Organisation sizes_only{{}, {}, std::max(10, users / 100)};
            write_accounts(folder, users, bench::level_sizes(sizes_only.groups), sizes_only.groups);
            const std::string child =
                "PERMSCOPE_TREE_BENCH_FOLDER='" + folder + "' NSS_WRAPPER_PASSWD='" + folder +
                "/passwd' NSS_WRAPPER_GROUP='" + folder +
                "/group' LD_PRELOAD=libnss_wrapper.so '/proc/" + std::to_string(getpid()) + "/exe'";
            std::string arguments;
            for (int i = 1; i < argc; ++i)
                arguments += std::string(" '") + argv[i] + "'";
            std::fflush(stdout);
            const int status = std::system((child + arguments).c_str());
            std::filesystem::remove_all(folder);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
        }
        return run(users, workers);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tree_walk_bench: %s\n", error.what());
        return 1;
    }
}

// Folder read against a large directory, measured side by side. A private slapd holds users in
// groups nested five levels under one top group ("users"), some users in two groups; a real
// folder's POSIX ACL names the top group, two of its sub-groups ("staff", "adm") and the users
// "daemon" and "bin" (Debian's own accounts, so setfacl finds them through NSS). On the same data
// it times:
//   read      the folder read as the program does it: rights::find_dir_rights with the Linux
//             management layer and the GroupResolver over libldap, with its default options;
//   floor     one paged search that dumps every user and group with the attributes the read uses
//             (the read and the floor: best of five runs each, taken in turn);
//   startup   what a user waits for: the program's own start-up (the window and its services, as
//             its main builds them, offscreen) in a new process, from before the process starts
//             until the window's users list holds every row of the first read of the folder
//             (best of three), with the process's peak memory;
//   baseline  the same read one name at a time: no batches, no kept answers, a new connection per
//             resolution, a walk over all rows per name. Run at each size up to the largest whose
//             estimate stays within five minutes, and stopped at five minutes.
// Each measurement runs in a child process of its own, so its peak memory is its own. A benchmark:
// it prints figures and checks nothing but that the two reads gave the same rows.
//
//   directory_scale_bench [--users N] [--no-baseline] [--batch-size N]
//
//   directory_scale_bench --serve N            (keeps a directory of N users running; prints its
//                                               URI, base and a folder; for profilers)
//   directory_scale_bench --read-once URI FOLDER [BULK_THRESHOLD]
//                                              (one read against it; prints seconds and rows)
//
// --users: the largest size (default 100000); the sizes 1000, 10000 … below it run first.
// --no-baseline: only the read and the floor. --batch-size, --bulk-threshold: names per batch
// search of the read, names met before it reads all groups and users (the resolver's defaults
// otherwise), for tuning.

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bench_organisation.h"
#include "child_measurement.h"
#include "common/result_list.h"
#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "directory/ldap_search.h"
#include "platform/linux_management.h"
#include "rights/folder_read.h"
#include "testbed/private_slapd.h"
#include "window_start.h"

namespace {

using permscope::ResultList;
using permscope::bench::make_organisation;
using permscope::bench::Organisation;
using permscope::testing::PrivateSlapd;
using Clock = std::chrono::steady_clock;
namespace directory = permscope::directory;

constexpr const char* kDomain = permscope::bench::kDomain;
constexpr double kBaselineLimit = 300.0;  // seconds
// Names per batch search of the read, and names met before it reads all groups and users; 0
// keeps the resolver's defaults.
std::size_t batch_size = 0;
std::size_t bulk_threshold = 0;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- the folder -------------------------------------------------------------------------------

std::string make_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "permscope-bench-XXXXXX");
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make the folder");
    const std::string command =
        "setfacl -m g:users:r-x,g:staff:rwx,g:adm:r--,u:daemon:r-x,"
        "u:bin:rwx '" +
        pattern + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("setfacl failed on " + pattern);
    return pattern;
}

// ---- measurements -----------------------------------------------------------------------------

struct Measurement {
    double seconds = 0;
    double cpu_seconds = 0;     // this side's processor time
    double server_seconds = 0;  // slapd's processor time meanwhile
    long peak_kb = 0;
    long long user_rows = 0;
    long long group_rows = 0;
    unsigned long long digest = 0;  // of every row of both lists
};

unsigned long long digest_of(const ResultList& list, unsigned long long hash) {
    const auto add = [&](const std::string& text) {
        for (const char c : text)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        hash = (hash ^ 0xff) * 1099511628211ull;
    };
    for (const ResultList::Row& row : list.rows()) {
        add(row.text);
        for (const std::string& sub : row.sub_items)
            add(sub);
    }
    return hash;
}

// Processor time of a process so far (user and system), from /proc.
double process_seconds(pid_t pid) {
    std::FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file)
        return 0;
    char text[1024] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[length] = 0;
    // Fields after the command's closing bracket: state is field 3, utime 14, stime 15.
    const char* rest = std::strrchr(text, ')');
    unsigned long utime = 0, stime = 0;
    if (!rest || std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                             &utime, &stime) != 2)
        return 0;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

pid_t server_pid = -1;

// Runs work in a child process; nothing when it fails or passes the limit.
std::optional<Measurement> in_child(const std::function<Measurement()>& work, double limit) {
    const double server_before = process_seconds(server_pid);
    auto m = permscope::bench::measure_in_child<Measurement>(
        work,
        [](Measurement& m, const rusage& usage) {
            m.peak_kb = usage.ru_maxrss;
            m.cpu_seconds =
                static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        },
        limit);
    if (m)
        m->server_seconds = process_seconds(server_pid) - server_before;
    return m;
}

// The fastest of runs measurements of each of two kinds, each in a child of its own. The two
// alternate, so that a machine that is slower for a while slows both alike.
std::pair<std::optional<Measurement>, std::optional<Measurement>> best_of_each(
    int runs, const std::function<Measurement()>& first,
    const std::function<Measurement()>& second) {
    std::optional<Measurement> best_first, best_second;
    const auto keep_faster = [](std::optional<Measurement>& best, std::optional<Measurement> m) {
        if (m && (!best || m->seconds < best->seconds))
            best = m;
    };
    for (int run = 0; run < runs; ++run) {
        keep_faster(best_first, in_child(first, 600));
        keep_faster(best_second, in_child(second, 600));
    }
    return {best_first, best_second};
}

class NoHooks : public permscope::rights::ReadHooks {
  public:
    void read_starting() override {}
};

Measurement folder_read(const std::string& uri, const std::string& folder, bool fast) {
    directory::LdapProviderOptions provider_options{uri};
    directory::ResolutionOptions options;
    if (batch_size > 0)
        options.batch_size = batch_size;
    if (bulk_threshold > 0)
        options.bulk_threshold = bulk_threshold;
    if (!fast) {
        provider_options.reuse_handles = false;
        options = directory::ResolutionOptions::one_name_at_a_time();
    }
    const auto provider = directory::make_ldap_directory_provider(provider_options);
    directory::GroupResolver resolver(
        *provider, [] { return std::string(kDomain); }, options);
    const auto management = permscope::platform::make_linux_management();
    ResultList users, groups;
    NoHooks hooks;
    const permscope::rights::GroupCheck group_check = [&](std::string& name, std::string head,
                                                          std::string& created) {
        return resolver.Group_check(users, groups, name, std::move(head), created);
    };
    const Clock::time_point start = Clock::now();
    permscope::rights::find_dir_rights(folder, users, groups, *management, group_check, hooks);
    resolver.folder_read_finished();
    Measurement m;
    m.seconds = seconds_since(start);
    m.user_rows = users.count();
    m.group_rows = groups.count();
    m.digest = digest_of(users, digest_of(groups, 14695981039346656037ull));
    return m;
}

// Every user and group in one paged search with the attributes the read asks for.
Measurement floor_dump(const std::string& uri, const std::string& suffix) {
    const Clock::time_point start = Clock::now();
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld, uri.c_str()) != LDAP_SUCCESS)
        throw std::runtime_error("ldap_initialize failed");
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    directory::LdapSearchRequest request;
    request.base = suffix;
    request.filter = "(|(objectCategory=User)(objectCategory=Group))";
    request.attributes = {"Name", "samAccountName", "member", "objectSid"};
    request.page_size = 1000;
    const std::vector<directory::LdapRecord> records = directory::run_search(ld, request);
    ldap_unbind_ext(ld, nullptr, nullptr);
    Measurement m;
    m.seconds = seconds_since(start);
    m.user_rows = static_cast<long long>(records.size());
    return m;
}

// ---- one size ---------------------------------------------------------------------------------

struct SizeResult {
    int users = 0;
    std::optional<Measurement> read, floor, baseline;
    std::optional<permscope::bench::WindowStart> startup;
};

// The fastest of three starts of the program on the folder.
std::optional<permscope::bench::WindowStart> best_window_start(const std::string& uri,
                                                               const std::string& suffix,
                                                               const std::string& folder,
                                                               long long user_rows) {
    std::optional<permscope::bench::WindowStart> best;
    for (int run = 0; run < 3; ++run) {
        const auto start = permscope::bench::time_window_start(uri, suffix, folder, user_rows, 120);
        if (start && (!best || start->seconds < best->seconds))
            best = start;
    }
    return best;
}

std::optional<double> baseline_estimate(const std::vector<SizeResult>& done, int users) {
    std::vector<const SizeResult*> measured;
    for (const SizeResult& r : done)
        if (r.baseline)
            measured.push_back(&r);
    if (measured.empty())
        return std::nullopt;
    const SizeResult& last = *measured.back();
    double exponent = 2.0;  // row walks grow with the square; until two sizes tell otherwise
    if (measured.size() >= 2) {
        const SizeResult& before = *measured[measured.size() - 2];
        exponent = std::log(last.baseline->seconds / before.baseline->seconds) /
                   std::log(static_cast<double>(last.users) / before.users);
        exponent = std::clamp(exponent, 1.0, 2.0);
    }
    return last.baseline->seconds * std::pow(static_cast<double>(users) / last.users, exponent);
}

SizeResult measure_size(int users, const std::string& folder, const std::vector<SizeResult>& done,
                        bool run_baseline) {
    SizeResult result;
    result.users = users;
    const Clock::time_point generation = Clock::now();
    std::optional<PrivateSlapd> slapd;
    int groups = 0;
    {
        Organisation organisation = make_organisation(users);
        groups = organisation.groups;
        slapd.emplace(organisation.suffix, organisation.ldif);
    }
    std::printf("size users=%d groups=%d: directory generated and loaded in %.2f s\n", users,
                groups + 1, seconds_since(generation));
    const std::string uri = slapd->uri();
    server_pid = slapd->pid();
    const std::string suffix = slapd->suffix();

    in_child([&] { return floor_dump(uri, suffix); }, 600);  // warms slapd's cache
    // The machine is shared: the floor and the read are each taken as the best of five, measured
    // in turn.
    std::tie(result.floor, result.read) = best_of_each(
        5, [&] { return floor_dump(uri, suffix); }, [&] { return folder_read(uri, folder, true); });
    if (result.floor)
        std::printf("  floor     %8.3f s  cpu=%.2f s slapd cpu=%.2f s  entries=%lld  peak=%ld MB\n",
                    result.floor->seconds, result.floor->cpu_seconds, result.floor->server_seconds,
                    result.floor->user_rows, result.floor->peak_kb / 1024);
    if (result.read)
        std::printf(
            "  read      %8.3f s  cpu=%.2f s slapd cpu=%.2f s  user rows=%lld "
            "group rows=%lld  peak=%ld MB\n",
            result.read->seconds, result.read->cpu_seconds, result.read->server_seconds,
            result.read->user_rows, result.read->group_rows, result.read->peak_kb / 1024);
    if (result.read)
        result.startup = best_window_start(uri, suffix, folder, result.read->user_rows);
    if (result.startup)
        std::printf("  startup   %8.3f s  program start to the users list full  peak=%ld MB\n",
                    result.startup->seconds, result.startup->peak_kb / 1024);
    else
        std::printf("  startup   failed: the window did not show the read's user rows\n");
    if (!run_baseline) {
        std::printf("  baseline  not run\n");
    } else if (const std::optional<double> estimate = baseline_estimate(done, users);
               estimate && *estimate > kBaselineLimit) {
        std::printf("  baseline  not run: estimated %.0f s, over the %.0f s limit\n", *estimate,
                    kBaselineLimit);
    } else {
        result.baseline = in_child([&] { return folder_read(uri, folder, false); }, kBaselineLimit);
        if (result.baseline)
            std::printf(
                "  baseline  %8.3f s  user rows=%lld group rows=%lld  peak=%ld MB  "
                "same rows as read: %s\n",
                result.baseline->seconds, result.baseline->user_rows, result.baseline->group_rows,
                result.baseline->peak_kb / 1024,
                result.read && result.read->digest == result.baseline->digest ? "yes" : "NO");
        else
            std::printf("  baseline  stopped at the %.0f s limit\n", kBaselineLimit);
    }
    if (result.read && result.floor)
        std::printf("  read/floor    = %.2f\n", result.read->seconds / result.floor->seconds);
    if (result.startup && result.floor)
        std::printf("  startup/floor = %.2f\n", result.startup->seconds / result.floor->seconds);
    if (result.read && result.baseline)
        std::printf("  baseline/read = %.1f\n", result.baseline->seconds / result.read->seconds);
    std::fflush(stdout);
    return result;
}

std::vector<int> sizes_up_to(int users) {
    std::vector<int> sizes;
    for (const int size : {1000, 10000, 100000})
        if (size < users)
            sizes.push_back(size);
    sizes.push_back(users);
    return sizes;
}

// A directory of users users and the folder, kept until SIGINT or SIGTERM; then both go.
int serve(int users) {
    const Organisation organisation = make_organisation(users);
    const PrivateSlapd slapd(organisation.suffix, organisation.ldif);
    const std::string folder = make_folder();
    // Blocked only now: slapd must not inherit the blocked signals.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    std::printf("%s %s %s\n", slapd.uri().c_str(), slapd.suffix().c_str(), folder.c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    std::filesystem::remove(folder);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], permscope::bench::kWindowStartArgument) == 0)
        return permscope::bench::window_start_main(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--serve") == 0)
        return serve(std::atoi(argv[2]));
    if (argc > 4 && std::strcmp(argv[1], "--read-once") == 0)
        bulk_threshold = static_cast<std::size_t>(std::atoll(argv[4]));
    if (argc > 3 && std::strcmp(argv[1], "--read-once") == 0) {
        const Measurement m = folder_read(argv[2], argv[3], true);
        std::printf("%.3f %lld\n", m.seconds, m.user_rows);
        return 0;
    }
    int users = 100000;
    bool baseline_possible = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--users") == 0 && i + 1 < argc) {
            users = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--bulk-threshold") == 0 && i + 1 < argc) {
            bulk_threshold = static_cast<std::size_t>(std::atoll(argv[++i]));
        } else if (std::strcmp(argv[i], "--batch-size") == 0 && i + 1 < argc) {
            batch_size = static_cast<std::size_t>(std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--no-baseline") == 0) {
            baseline_possible = false;
        } else {
            std::fprintf(
                stderr,
                "usage: %s [--users N] [--no-baseline] [--batch-size N] [--bulk-threshold N]\n",
                argv[0]);
            return 2;
        }
    }
    if (users < 100) {
        std::fprintf(stderr, "--users takes at least 100\n");
        return 2;
    }
    try {
        const std::string folder = make_folder();
        std::printf("folder %s, ACL: group users, staff, adm; user daemon, bin\n", folder.c_str());
        std::vector<SizeResult> done;
        for (const int size : sizes_up_to(users)) {
            done.push_back(measure_size(size, folder, done, baseline_possible));
            baseline_possible = baseline_possible && done.back().baseline.has_value();
        }
        std::filesystem::remove(folder);

        const SizeResult& largest = done.back();
        const SizeResult* both = nullptr;
        for (const SizeResult& r : done)
            if (r.read && r.baseline)
                both = &r;
        if (!largest.read || !largest.floor || !largest.startup) {
            std::printf("the read, the floor or the start-up failed at %d users\n", largest.users);
            return 1;
        }
        std::printf("peak memory of the read at %d users: %ld MB\n", largest.users,
                    largest.read->peak_kb / 1024);
        if (both)
            std::printf("literal = baseline at %d users (the largest size both finished)\n",
                        both->users);
        std::printf(
            "read=%.3f floor=%.3f literal=%s ratio_floor=%.2f speedup=%s startup_to_rows=%.3f "
            "ratio_black_box=%.2f peak_mb=%ld\n",
            largest.read->seconds, largest.floor->seconds,
            both ? std::to_string(both->baseline->seconds).c_str() : "none",
            largest.read->seconds / largest.floor->seconds,
            both ? std::to_string(both->baseline->seconds / both->read->seconds).c_str() : "none",
            largest.startup->seconds, largest.startup->seconds / largest.floor->seconds,
            largest.startup->peak_kb / 1024);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "directory_scale_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}

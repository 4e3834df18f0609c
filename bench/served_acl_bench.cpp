// What asking a local folder's file system for a served access list (system.cifs_ntsd,
// system.smb3_ntsd, system.nfs4_acl) costs, beside the POSIX ACL read it precedes and the whole
// binding and read of the folder's security setting. Prints figures; it checks nothing.
//
//   served_acl_bench [folder] [rounds]

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/linux_management.h"
#include "platform/posix_acl.h"
#include "platform/served_acl.h"

namespace {

using namespace permscope::platform;

// Microseconds per call, the best of five batches of rounds calls.
double microseconds_per_call(int rounds, const std::function<void()>& call) {
    double best = 1e9;
    for (int batch = 0; batch < 5; ++batch) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i)
            call();
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / rounds);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : ".";
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 20000;
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: served_acl_bench [folder] [rounds]\n");
        return 2;
    }
    const auto management = make_linux_management();
    const std::string moniker = "winmgmts:Win32_LogicalFileSecuritySetting.path='" + folder + "'";
    const double probe = microseconds_per_call(rounds, [&] {
        if (read_served_access_list(folder, info))
            std::abort();  // a local folder serves none
    });
    const double posix = microseconds_per_call(rounds, [&] { read_posix_access_acl(folder); });
    const double whole = microseconds_per_call(
        rounds, [&] { management->GetObject(moniker)->GetSecurityDescriptor(); });
    std::printf("folder=%s rounds=%d\n", folder.c_str(), rounds);
    std::printf("probe=%.2fus posix_read=%.2fus whole_read=%.2fus probe_share=%.2f\n", probe, posix,
                whole, probe / whole);
    return 0;
}

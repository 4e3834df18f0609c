// The NFSv4 access list a mounted share serves: any bytes give entries or a refusal, never a read
// past the end or more entries than the bytes can hold.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/nfs4_acl.h"

using namespace permscope::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const auto entries =
            parse_nfs4_acl(std::string_view(reinterpret_cast<const char*>(data), size));
        if (entries.size() * 16 + 4 > size)
            std::abort();
        nfs4_access_entries(entries, 0, 0);
    } catch (const ManagementError&) {
    }
    return 0;
}

// The binary security descriptor a mounted share serves, and the SIDs in it: any bytes give
// entries or a refusal, never a read past the end; every SID text written reads back to the same
// bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/nt_descriptor.h"
#include "platform/security_identifiers.h"

using namespace permscope::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        parse_self_relative_descriptor(bytes);
    } catch (const ManagementError&) {
    }
    if (const auto sid = parse_binary_sid(bytes)) {
        if (binary_sid(sid->text) != std::string(bytes.substr(0, sid->size)))
            std::abort();
    }
    return 0;
}

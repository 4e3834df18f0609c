// The texts of the share layer: a security descriptor as libsmbclient writes it, a share path
// turned into an smb:// address that holds nothing but unreserved characters, "%" and "/", and a
// desktop mount path or smb:// address turned into the share path it stands for.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/share_paths.h"
#include "platform/smb_share.h"

using namespace permscope::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        parse_nt_security_descriptor(text);
    } catch (const ManagementError&) {
    }
    try {
        const std::string url = smb_url_of_share_path(text);
        constexpr std::string_view kUrlCharacters =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%/";
        if (!url.starts_with("smb://") || url.find_first_not_of(kUrlCharacters, 6) != url.npos)
            std::abort();
    } catch (const ManagementError&) {
    }
    if (const auto share_path = desktop_share_path(text);
        share_path && !share_path->starts_with("\\\\"))
        std::abort();
    return 0;
}

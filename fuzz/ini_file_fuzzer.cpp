// Configuration files of SSSD and Samba as the domain discovery reads them.
#include <cstdint>
#include <string_view>

#include "platform/domain_discovery.h"

using namespace permscope::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const IniSection& section : parse_ini(text))
        section.value("realm");
    sssd_ad_domains(text);
    samba_ads_realm(text);
    return 0;
}

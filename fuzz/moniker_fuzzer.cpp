// Monikers both ways: any text reads as a moniker or as none, and the moniker written for any
// path reads back as that same path, of the share class exactly for share paths.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/moniker.h"

using namespace permscope;
using platform::MonikerClass;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    platform::parse_moniker(path);
    const auto moniker = platform::parse_moniker(platform::moniker_for_path(path));
    const bool share =
        path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && path[1] == path[0];
    const MonikerClass expected =
        share ? MonikerClass::ShareSecuritySetting : MonikerClass::FileSecuritySetting;
    if (!moniker || moniker->key_value != path || moniker->object_class != expected)
        std::abort();
    return 0;
}

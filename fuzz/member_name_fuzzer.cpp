// Member names cut from directory values: the first component of a distinguished name, the C
// string form of a name, one spelling of a name's escapes, and the relative identifier of a
// binary security identifier.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "directory/member_name.h"

using namespace permscope::directory;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Unescaping and cutting only ever shorten the text.
    if (first_component_value(text).size() > text.size())
        std::abort();
    if (dn_text_for_c(text).find('\0') != std::string::npos)
        std::abort();
    // One spelling of the escapes is a fixed point: spelt again, it stays as it is.
    if (const std::optional<std::string> uniform = uniform_dn(text)) {
        const std::optional<std::string> again = uniform_dn(*uniform);
        if (again && *again != *uniform)
            std::abort();
    }
    relative_id(text);
    return 0;
}

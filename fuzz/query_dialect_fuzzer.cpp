// Query texts of the provider's dialect: each one translates into an LDAP filter or is refused
// with a DialectError. Values are escaped, so the filter's parentheses always pair up.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "directory/query_dialect.h"

using namespace permscope::directory;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Query query;
    try {
        query = parse_query(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const DialectError&) {
        return 0;
    }
    int depth = 0;
    for (const char c : ldap_filter(query.where)) {
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth < 0)
            std::abort();
    }
    if (depth != 0)
        std::abort();
    return 0;
}

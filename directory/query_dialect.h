#pragma once
// The provider's SQL dialect:
//
//   SELECT attr, attr … FROM 'LDAP://[host[:port]/]base' [WHERE condition]
//
// condition: attr='value' terms joined by AND and OR, with NOT and parentheses (NOT binds
// tighter than AND, AND tighter than OR). Keywords and attribute names are read without regard to
// case; inside a quoted text '' stands for one apostrophe. A FROM text names a host only when the
// part before its first "/" holds no "=" (a distinguished name's first component always does).
// Without WHERE every object matches. Conditions nest at most 256 levels deep (NOT and
// parentheses).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_provider.h"

namespace permscope::directory {

// A query text that is not of this dialect.
class DialectError : public DirectoryError {
  public:
    using DirectoryError::DirectoryError;
};

struct Condition {
    enum class Kind { Equals, And, Or, Not };
    Kind kind = Kind::Equals;
    std::string attribute;  // Equals only
    std::string value;      // Equals only, apostrophes undoubled
    std::vector<Condition> operands;
};

struct Query {
    std::vector<std::string> attributes;  // as written, in order
    std::string host;                     // "host" or "host:port"; empty when none is named
    std::string base;                     // the distinguished name to search from
    std::optional<Condition> where;
};

// Throws DialectError for any text outside the dialect.
Query parse_query(std::string_view text);

// The LDAP filter (RFC 4515) of a condition; every value is escaped, so "*", "(", ")", "\" and
// NUL match only themselves. No condition matches every object.
std::string ldap_filter(const std::optional<Condition>& where);

}  // namespace permscope::directory

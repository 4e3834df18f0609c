#pragma once
// The query texts of the directory provider's SQL dialect: those the resolution builds (the base
// name, the group, user and batch lookups, the reads of single objects) and the translation of any
// text of the dialect into an LDAP search, which the provider runs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_provider.h"

namespace permscope::directory {

// The texts of one resolution's directory queries: the base name built from the domain name and
// the group, user and member lookups in the provider's SQL dialect.

// "dc=" + label for each label of the domain name, joined by ",". Labels are cut at every "." and
// taken as they are, empty ones included ("A.B." gives "dc=A,dc=B,dc="); an empty domain name
// gives an empty base name.
std::string base_name(std::string_view domain_name);

std::string group_lookup_text(std::string_view base, std::string_view name);
std::string user_lookup_text(std::string_view base, std::string_view name);
// The same texts written over text, for callers that build one per name of a long list and keep
// the buffer.
void assign_group_lookup_text(std::string& text, std::string_view base, std::string_view name);
void assign_user_lookup_text(std::string& text, std::string_view base, std::string_view name);

// The group or user lookup (category "Group" or "User") of many names in one query: the account
// name terms joined by "or" in parentheses. Its records are those of the single lookups together.
std::string batch_lookup_text(std::string_view base, std::string_view category,
                              const std::vector<std::string>& names);

// The account names of many names in one query, whatever their category: the account name terms
// joined by "or", with the category selected after the lookups' own fields, so that the group
// and the user lookups' records can be told apart in the answer.
std::string batch_account_lookup_text(std::string_view base, const std::vector<std::string>& names);

// The account names of the objects whose objectSid is one of sids (binary SIDs), in one query.
std::string sid_lookup_text(std::string_view base, const std::vector<std::string>& sids);

// Every object of a category ("Group" or "User") under the base, with the fields of the group
// and user lookups: the records of every such lookup together.
std::string category_text(std::string_view base, std::string_view category);

// The account names of the objects whose account name matches one of names, by the directory's
// rule, whatever their category.
std::string account_match_text(std::string_view base, const std::vector<std::string>& names);

// Reads one object: its account name and category (with Searchscope set to base).
std::string entry_read_text(std::string_view distinguished_name);
// The accounts whose primary group has the relative identifier rid.
std::string primary_group_members_text(std::string_view base, std::uint32_t rid);

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

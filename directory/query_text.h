#pragma once
// The texts of one resolution's directory queries: the base name built from the domain name and
// the group, user and member lookups in the provider's SQL dialect.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace permscope::directory {

// "dc=" + label for each label of the domain name, joined by ",". Labels are cut at every "." and
// taken as they are, empty ones included ("A.B." gives "dc=A,dc=B,dc="); an empty domain name
// gives an empty base name.
std::string base_name(std::string_view domain_name);

// A value as the dialect quotes it inside '…': every apostrophe doubled, so that "O'Brien" is
// looked up as itself instead of ending the quoted value early.
std::string quoted_value(std::string_view value);

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

// Reads one object: its account name and category (with Searchscope set to base).
std::string entry_read_text(std::string_view distinguished_name);
// The accounts whose primary group has the relative identifier rid.
std::string primary_group_members_text(std::string_view base, std::uint32_t rid);

}  // namespace permscope::directory

#pragma once
// Names taken from the directory's values: the value of a member's first distinguished-name
// component, and the relative identifier at the end of a security identifier.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace permscope::directory {

// The value of the first component of a distinguished name, unescaped as RFC 4514 reads it:
// "CN=Müller\, Hans,OU=x" gives "Müller, Hans", hex escapes give their bytes, and of a
// multi-valued component ("CN=a+UID=b") the first value counts. A text that is no distinguished
// name gives the text before its first comma without its first three characters.
std::string first_component_value(std::string_view distinguished_name);

// A distinguished name with escapes ("\," "\2C" "\"…\"") in one spelling of them, libldap's:
// member values keep the escapes they were written with, while a server names its entries in
// its own (slapd: "cn=Müller\2C Hans" for a member "cn=Müller\, Hans"). Nothing for a name
// without escapes or quotes (already in that spelling) or one that does not parse.
std::optional<std::string> uniform_dn(std::string_view distinguished_name);

// A distinguished name as a C string can carry it: a NUL byte (which a C string would end at)
// written as the escape "\00", which names the same byte; a NUL that a backslash already escapes
// gets only the two hex digits. Other texts come back unchanged.
std::string dn_text_for_c(std::string_view distinguished_name);

// The last sub-authority of a binary security identifier (revision, count, authority,
// sub-authorities little-endian); nothing for bytes that are no well-formed identifier.
std::optional<std::uint32_t> relative_id(std::string_view sid_bytes);

}  // namespace permscope::directory

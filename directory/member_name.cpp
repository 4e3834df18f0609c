#include "directory/member_name.h"

#include <lber.h>
#include <ldap.h>

namespace permscope::directory {

namespace {

std::string cut_at_first_comma(std::string_view dn) {
    const std::string_view first = dn.substr(0, dn.find(','));
    return first.size() > 3 ? std::string(first.substr(3)) : std::string();
}

// The common shape "CN=value,…" with a two-letter type and a value that needs no unescaping: its
// value is the text up to the first comma, whatever the rest holds (should the rest be no valid
// distinguished name, cutting at the first comma gives the same text). Nothing for any other
// shape, which goes through the full parse.
std::optional<std::string_view> plain_first_value(std::string_view dn) {
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (dn.size() < 4 || !letter(dn[0]) || !letter(dn[1]) || dn[2] != '=')
        return std::nullopt;
    const std::string_view value = dn.substr(3, dn.find(',') - 3);
    if (value.empty() || value.front() == ' ' || value.front() == '#' || value.back() == ' ')
        return std::nullopt;
    for (const char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == '"' || c == '+' || c == ';' ||
            c == '<' || c == '>' || c == '=')
            return std::nullopt;
    }
    return value;
}

}  // namespace

std::string first_component_value(std::string_view distinguished_name) {
    if (const std::optional<std::string_view> plain = plain_first_value(distinguished_name))
        return std::string(*plain);
    const std::string text = dn_text_for_c(distinguished_name);
    LDAPDN dn = nullptr;
    if (ldap_str2dn(text.c_str(), &dn, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || !dn || !dn[0] ||
        !dn[0][0]) {
        if (dn)
            ldap_dnfree(dn);
        return cut_at_first_comma(distinguished_name);
    }
    const berval& value = dn[0][0]->la_value;
    std::string result(value.bv_val ? value.bv_val : "", value.bv_len);
    ldap_dnfree(dn);
    return result;
}

std::optional<std::string> uniform_dn(std::string_view distinguished_name) {
    if (distinguished_name.find_first_of("\\\"") == std::string_view::npos)
        return std::nullopt;
    LDAPDN dn = nullptr;
    if (ldap_str2dn(dn_text_for_c(distinguished_name).c_str(), &dn, LDAP_DN_FORMAT_LDAPV3) !=
            LDAP_SUCCESS ||
        !dn) {
        if (dn)
            ldap_dnfree(dn);
        return std::nullopt;
    }
    char* text = nullptr;
    const int rc = ldap_dn2str(dn, &text, LDAP_DN_FORMAT_LDAPV3);
    ldap_dnfree(dn);
    if (rc != LDAP_SUCCESS || !text)
        return std::nullopt;
    std::string result(text);
    ldap_memfree(text);
    return result;
}

std::string dn_text_for_c(std::string_view distinguished_name) {
    std::string text;
    text.reserve(distinguished_name.size());
    bool escaping = false;  // the last character was a backslash that escapes the next one
    for (const char c : distinguished_name) {
        if (c == '\0')
            text += escaping ? "00" : "\\00";  // "\<NUL>" becomes "\00", not the pair "\\" "00"
        else
            text += c;
        escaping = c == '\\' && !escaping;
    }
    return text;
}

std::optional<std::uint32_t> relative_id(std::string_view sid_bytes) {
    // 1 revision byte, 1 count byte, 6 authority bytes, then count sub-authorities of 4 bytes.
    if (sid_bytes.size() < 12 || sid_bytes[0] != 1)
        return std::nullopt;
    const std::size_t count = static_cast<unsigned char>(sid_bytes[1]);
    if (count == 0 || sid_bytes.size() != 8 + 4 * count)
        return std::nullopt;
    const std::size_t last = sid_bytes.size() - 4;
    std::uint32_t rid = 0;
    for (std::size_t i = 0; i < 4; ++i)
        rid |= static_cast<std::uint32_t>(static_cast<unsigned char>(sid_bytes[last + i]))
               << (8 * i);
    return rid;
}

}  // namespace permscope::directory

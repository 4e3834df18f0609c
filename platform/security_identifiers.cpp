#include "platform/security_identifiers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>

namespace permscope::platform {

namespace {

constexpr std::size_t kMaxSubAuthorities = 15;
constexpr std::uint64_t kLargestAuthority = (std::uint64_t{1} << 48) - 1;

struct WellKnownSid {
    std::string_view sid;
    std::string_view name;
};

// As Windows names them (English), sorted by SID text for the lookup.
constexpr std::array kWellKnownSids = std::to_array<WellKnownSid>({
    {"S-1-1-0", "Everyone"},
    {"S-1-15-2-1", "ALL APPLICATION PACKAGES"},
    {"S-1-15-2-2", "ALL RESTRICTED APPLICATION PACKAGES"},
    {"S-1-2-0", "LOCAL"},
    {"S-1-2-1", "CONSOLE LOGON"},
    {"S-1-3-0", "CREATOR OWNER"},
    {"S-1-3-1", "CREATOR GROUP"},
    {"S-1-3-2", "CREATOR OWNER SERVER"},
    {"S-1-3-3", "CREATOR GROUP SERVER"},
    {"S-1-3-4", "OWNER RIGHTS"},
    {"S-1-5-1", "DIALUP"},
    {"S-1-5-10", "SELF"},
    {"S-1-5-11", "Authenticated Users"},
    {"S-1-5-12", "RESTRICTED"},
    {"S-1-5-13", "TERMINAL SERVER USER"},
    {"S-1-5-14", "REMOTE INTERACTIVE LOGON"},
    {"S-1-5-15", "This Organization"},
    {"S-1-5-17", "IUSR"},
    {"S-1-5-18", "SYSTEM"},
    {"S-1-5-19", "LOCAL SERVICE"},
    {"S-1-5-2", "NETWORK"},
    {"S-1-5-20", "NETWORK SERVICE"},
    {"S-1-5-3", "BATCH"},
    {"S-1-5-32-544", "Administrators"},
    {"S-1-5-32-545", "Users"},
    {"S-1-5-32-546", "Guests"},
    {"S-1-5-32-547", "Power Users"},
    {"S-1-5-32-548", "Account Operators"},
    {"S-1-5-32-549", "Server Operators"},
    {"S-1-5-32-550", "Print Operators"},
    {"S-1-5-32-551", "Backup Operators"},
    {"S-1-5-32-552", "Replicator"},
    {"S-1-5-32-554", "Pre-Windows 2000 Compatible Access"},
    {"S-1-5-32-555", "Remote Desktop Users"},
    {"S-1-5-32-556", "Network Configuration Operators"},
    {"S-1-5-32-558", "Performance Monitor Users"},
    {"S-1-5-32-559", "Performance Log Users"},
    {"S-1-5-32-562", "Distributed COM Users"},
    {"S-1-5-32-568", "IIS_IUSRS"},
    {"S-1-5-32-569", "Cryptographic Operators"},
    {"S-1-5-32-573", "Event Log Readers"},
    {"S-1-5-32-574", "Certificate Service DCOM Access"},
    {"S-1-5-32-578", "Hyper-V Administrators"},
    {"S-1-5-32-579", "Access Control Assistance Operators"},
    {"S-1-5-32-580", "Remote Management Users"},
    {"S-1-5-4", "INTERACTIVE"},
    {"S-1-5-6", "SERVICE"},
    {"S-1-5-7", "ANONYMOUS LOGON"},
    {"S-1-5-8", "PROXY"},
    {"S-1-5-9", "ENTERPRISE DOMAIN CONTROLLERS"},
});

static_assert(std::is_sorted(kWellKnownSids.begin(), kWellKnownSids.end(),
                             [](const WellKnownSid& a, const WellKnownSid& b) {
                                 return a.sid < b.sid;
                             }));

std::uint32_t little_endian_32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    return value;
}

std::string authority_text(std::uint64_t authority) {
    if (authority <= UINT32_MAX)
        return std::to_string(authority);
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(authority));
    return hex;
}

// A decimal number (or, where hex_allowed, 0x and hexadecimal digits) that is the whole text and
// no larger than largest.
std::optional<std::uint64_t> whole_number(std::string_view text, std::uint64_t largest,
                                          bool hex_allowed) {
    int base = 10;
    if (hex_allowed && (text.starts_with("0x") || text.starts_with("0X"))) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > largest)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<BinarySid> parse_binary_sid(std::string_view bytes) {
    if (bytes.size() < 8 || bytes[0] != 1)
        return std::nullopt;
    const std::size_t count = static_cast<unsigned char>(bytes[1]);
    const std::size_t size = 8 + 4 * count;
    if (count > kMaxSubAuthorities || bytes.size() < size)
        return std::nullopt;
    std::uint64_t authority = 0;
    for (std::size_t i = 2; i < 8; ++i)
        authority = (authority << 8) | static_cast<unsigned char>(bytes[i]);
    std::string text = "S-1-" + authority_text(authority);
    for (std::size_t i = 0; i < count; ++i)
        text += "-" + std::to_string(little_endian_32(bytes.substr(8 + 4 * i, 4)));
    return BinarySid{std::move(text), size};
}

std::optional<std::string> binary_sid(std::string_view text) {
    if (!text.starts_with("S-1-"))
        return std::nullopt;
    text.remove_prefix(4);
    const std::size_t dash = text.find('-');
    const auto authority = whole_number(text.substr(0, dash), kLargestAuthority, true);
    if (!authority)
        return std::nullopt;
    std::string sid(8, '\0');
    sid[0] = 1;
    for (int i = 0; i < 6; ++i)
        sid[static_cast<std::size_t>(7 - i)] = static_cast<char>((*authority >> (8 * i)) & 0xFF);
    for (std::size_t start = dash; start != std::string_view::npos;) {
        const std::size_t next = text.find('-', start + 1);
        const auto sub = whole_number(
            text.substr(start + 1, next == text.npos ? next : next - start - 1), UINT32_MAX, false);
        if (!sub || sid.size() >= 8 + 4 * kMaxSubAuthorities)
            return std::nullopt;
        for (int i = 0; i < 4; ++i)
            sid += static_cast<char>((*sub >> (8 * i)) & 0xFF);
        start = next;
    }
    sid[1] = static_cast<char>((sid.size() - 8) / 4);
    return sid;
}

std::optional<std::string_view> well_known_sid_name(std::string_view sid_text) {
    const auto found = std::lower_bound(
        kWellKnownSids.begin(), kWellKnownSids.end(), sid_text,
        [](const WellKnownSid& known, std::string_view sid) { return known.sid < sid; });
    if (found == kWellKnownSids.end() || found->sid != sid_text)
        return std::nullopt;
    return found->name;
}

}  // namespace permscope::platform

#include "platform/nfs4_acl.h"

#include <array>
#include <charconv>
#include <optional>

#include "platform/posix_acl.h"

namespace permscope::platform {

namespace {

constexpr std::uint32_t kAllow = 0, kDeny = 1;
constexpr std::uint32_t kIdentifierGroup = 0x40;
// Type, flags, mask and the length of an empty who.
constexpr std::size_t kSmallestEntry = 16;

struct SpecialWho {
    std::string_view who;
    std::string_view name;
};

constexpr std::array<SpecialWho, 8> kSpecialWhos = {{
    {"EVERYONE@", "Everyone"},
    {"AUTHENTICATED@", "Authenticated Users"},
    {"ANONYMOUS@", "ANONYMOUS LOGON"},
    {"INTERACTIVE@", "INTERACTIVE"},
    {"NETWORK@", "NETWORK"},
    {"DIALUP@", "DIALUP"},
    {"BATCH@", "BATCH"},
    {"SERVICE@", "SERVICE"},
}};

[[noreturn]] void malformed_nfs4_acl(const std::string& why) {
    throw ManagementError("malformed NFSv4 access list: " + why);
}

class XdrReader {
  public:
    explicit XdrReader(std::string_view bytes) : bytes_(bytes) {}

    std::size_t left() const { return bytes_.size() - at_; }

    std::uint32_t word() {
        if (left() < 4)
            malformed_nfs4_acl("cut off at byte " + std::to_string(at_));
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | static_cast<unsigned char>(bytes_[at_++]);
        return value;
    }

    std::string text() {
        const std::size_t length = word();
        const std::size_t padded = length + (4 - length % 4) % 4;
        if (length > left() || padded > left())
            malformed_nfs4_acl("a text of " + std::to_string(length) + " bytes runs past the end");
        std::string value(bytes_.substr(at_, length));
        at_ += padded;
        return value;
    }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// A decimal id exactly as the number writes it (no sign, no leading zero).
std::optional<unsigned> canonical_id(std::string_view who) {
    unsigned id = 0;
    const auto [end, error] = std::from_chars(who.data(), who.data() + who.size(), id);
    if (who.empty() || error != std::errc() || end != who.data() + who.size() ||
        (who.size() > 1 && who.front() == '0'))
        return std::nullopt;
    return id;
}

std::string trustee_of(const Nfs4Entry& entry, unsigned owner_uid, unsigned owner_gid) {
    if (entry.who == "OWNER@")
        return user_name_of(owner_uid);
    if (entry.who == "GROUP@")
        return group_name_of(owner_gid);
    for (const SpecialWho& special : kSpecialWhos)
        if (entry.who == special.who)
            return std::string(special.name);
    if (const auto id = canonical_id(entry.who))
        return (entry.flags & kIdentifierGroup) ? group_name_of(*id) : user_name_of(*id);
    return account_name_without_domain(entry.who);
}

}  // namespace

std::vector<Nfs4Entry> parse_nfs4_acl(std::string_view xdr) {
    XdrReader reader(xdr);
    const std::size_t count = reader.word();
    if (count > reader.left() / kSmallestEntry)
        malformed_nfs4_acl(std::to_string(count) + " entries cannot fit in " +
                           std::to_string(reader.left()) + " bytes");
    std::vector<Nfs4Entry> entries(count);
    for (Nfs4Entry& entry : entries) {
        entry.type = reader.word();
        entry.flags = reader.word();
        entry.mask = reader.word();
        entry.who = reader.text();
    }
    if (reader.left() != 0)
        malformed_nfs4_acl(std::to_string(reader.left()) + " bytes after the last entry");
    return entries;
}

std::vector<AccessEntry> nfs4_access_entries(const std::vector<Nfs4Entry>& entries,
                                             unsigned owner_uid, unsigned owner_gid) {
    std::vector<AccessEntry> access;
    for (const Nfs4Entry& entry : entries) {
        if (entry.type != kAllow && entry.type != kDeny)
            continue;
        AccessEntry converted;
        converted.trustee_name = trustee_of(entry, owner_uid, owner_gid);
        converted.access_mask = static_cast<std::int32_t>(entry.mask);
        converted.type = entry.type == kDeny ? AceType::Deny : AceType::Allow;
        access.push_back(std::move(converted));
    }
    return access;
}

}  // namespace permscope::platform

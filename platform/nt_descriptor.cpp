#include "platform/nt_descriptor.h"

#include <cstdint>
#include <string>

#include "platform/security_identifiers.h"

namespace permscope::platform {

namespace {

constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kAclHeaderSize = 8;
constexpr std::uint16_t kDaclPresent = 0x0004;
constexpr std::uint16_t kSelfRelative = 0x8000;

// Entry types that carry a mask and a SID, and where the SID stands.
enum class EntryKind { Allow, Deny, Other };
constexpr std::uint8_t kAllowed = 0, kDenied = 1, kAllowedObject = 5, kDeniedObject = 6,
                       kAllowedCallback = 9, kDeniedCallback = 10, kAllowedCallbackObject = 11,
                       kDeniedCallbackObject = 12;
// Object entries hold a flags word, then each GUID its flags announce, before the SID.
constexpr std::uint32_t kObjectTypePresent = 1, kInheritedObjectTypePresent = 2;
constexpr std::size_t kGuidSize = 16;

[[noreturn]] void malformed_descriptor(const std::string& why) {
    throw ManagementError("malformed security descriptor: " + why);
}

std::uint32_t read_32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::uint16_t read_16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

EntryKind kind_of(std::uint8_t type) {
    switch (type) {
        case kAllowed:
        case kAllowedObject:
        case kAllowedCallback:
        case kAllowedCallbackObject:
            return EntryKind::Allow;
        case kDenied:
        case kDeniedObject:
        case kDeniedCallback:
        case kDeniedCallbackObject:
            return EntryKind::Deny;
        default:
            return EntryKind::Other;
    }
}

bool is_object_entry(std::uint8_t type) {
    return type == kAllowedObject || type == kDeniedObject || type == kAllowedCallbackObject ||
           type == kDeniedCallbackObject;
}

// Where the SID of an entry (type at 0, mask at 4) begins.
std::size_t sid_offset(std::string_view entry, std::uint8_t type) {
    if (!is_object_entry(type))
        return 8;
    if (entry.size() < 12)
        malformed_descriptor("object entry too short");
    const std::uint32_t flags = read_32(entry, 8);
    return 12 + ((flags & kObjectTypePresent) ? kGuidSize : 0) +
           ((flags & kInheritedObjectTypePresent) ? kGuidSize : 0);
}

AccessEntry access_entry(std::string_view entry, std::uint8_t type) {
    const std::size_t at = sid_offset(entry, type);
    const auto sid = at < entry.size() ? parse_binary_sid(entry.substr(at)) : std::nullopt;
    if (entry.size() < 8 || !sid)
        malformed_descriptor("access entry without a whole SID");
    AccessEntry access;
    access.access_mask = static_cast<std::int32_t>(read_32(entry, 4));
    access.type = kind_of(type) == EntryKind::Deny ? AceType::Deny : AceType::Allow;
    if (const auto name = well_known_sid_name(sid->text)) {
        access.trustee_name = std::string(*name);
    } else {
        access.trustee_name = sid->text;
        access.unnamed_sid = sid->text;
    }
    return access;
}

// The access list at offset: its header and every entry inside the bytes and inside its own size.
std::vector<AccessEntry> parse_acl(std::string_view bytes, std::size_t offset) {
    if (bytes.size() - offset < kAclHeaderSize)
        malformed_descriptor("access list header past the end");
    const std::size_t acl_size = read_16(bytes, offset + 2);
    const std::size_t count = read_16(bytes, offset + 4);
    if (acl_size < kAclHeaderSize || acl_size > bytes.size() - offset)
        malformed_descriptor("access list size " + std::to_string(acl_size) + " does not fit");
    const std::string_view acl = bytes.substr(offset, acl_size);
    std::vector<AccessEntry> entries;
    std::size_t at = kAclHeaderSize;
    for (std::size_t i = 0; i < count; ++i) {
        if (acl.size() - at < 4)
            malformed_descriptor("entry " + std::to_string(i + 1) + " past the access list's end");
        const auto type = static_cast<std::uint8_t>(acl[at]);
        const std::size_t entry_size = read_16(acl, at + 2);
        if (entry_size < 4 || entry_size > acl.size() - at)
            malformed_descriptor("entry " + std::to_string(i + 1) + " of size " +
                                 std::to_string(entry_size) + " does not fit");
        if (kind_of(type) != EntryKind::Other)
            entries.push_back(access_entry(acl.substr(at, entry_size), type));
        at += entry_size;
    }
    return entries;
}

// An owner or group offset: none (0), or a whole SID after the header.
void check_sid_at(std::string_view bytes, std::uint32_t offset, const char* what) {
    if (offset == 0)
        return;
    if (offset < kHeaderSize || offset >= bytes.size() || !parse_binary_sid(bytes.substr(offset)))
        malformed_descriptor(std::string(what) + " offset " + std::to_string(offset) +
                             " names no SID");
}

}  // namespace

std::optional<std::vector<AccessEntry>> parse_self_relative_descriptor(std::string_view bytes) {
    if (bytes.size() < kHeaderSize)
        malformed_descriptor("shorter than its header");
    if (bytes[0] != 1)
        malformed_descriptor("revision " + std::to_string(static_cast<unsigned char>(bytes[0])));
    const std::uint16_t control = read_16(bytes, 2);
    if (!(control & kSelfRelative))
        malformed_descriptor("not self-relative");
    check_sid_at(bytes, read_32(bytes, 4), "owner");
    check_sid_at(bytes, read_32(bytes, 8), "group");
    const std::uint32_t dacl = read_32(bytes, 16);
    if (!(control & kDaclPresent) || dacl == 0)
        return std::nullopt;
    if (dacl < kHeaderSize || dacl >= bytes.size())
        malformed_descriptor("access list offset " + std::to_string(dacl) +
                             " outside the descriptor");
    return parse_acl(bytes, dacl);
}

}  // namespace permscope::platform

#pragma once
// Security identifiers (SIDs): their binary form (inside security descriptors, the directory's
// objectSid), their text ("S-1-5-21-…"), the names of the well-known ones, and the naming of the
// others by a service the caller chooses.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace permscope::platform {

struct BinarySid {
    std::string text;      // "S-1-5-32-544"
    std::size_t size = 0;  // bytes the SID takes
};

// The SID that bytes begin with. Nothing when they hold no whole SID: revision 1, at most 15
// sub-authorities, every byte of it inside bytes.
std::optional<BinarySid> parse_binary_sid(std::string_view bytes);

// The binary form of a SID text ("S-1-" authority, then up to 15 sub-authorities; an authority of
// 2^32 or more written as 0x and twelve hexadecimal digits). Nothing for any other text.
std::optional<std::string> binary_sid(std::string_view text);

// The name a Windows server gives a well-known SID, without its domain: "Everyone",
// "CREATOR OWNER", "Authenticated Users", "SYSTEM", "Administrators" (BUILTIN) and their
// kind. Nothing for any other SID, domain accounts included.
std::optional<std::string_view> well_known_sid_name(std::string_view sid_text);

// What a naming service made of some SIDs.
struct SidNames {
    std::unordered_map<std::string, std::string> names;  // SID text -> account name
    // SIDs whose lookup failed (as opposed to SIDs the service does not know), in the order asked.
    std::vector<std::string> not_looked_up;
    // Why they could not be looked up, in words for the user; empty when every lookup ran.
    std::string problem;
};

// Names accounts by their SIDs (the directory, or the system's identity service).
class SidNaming {
  public:
    virtual ~SidNaming() = default;
    // Names as many of sids (texts, no repeats) as it can; a SID it leaves out has no name.
    virtual SidNames name_sids(const std::vector<std::string>& sids) = 0;
};

}  // namespace permscope::platform

#include "rights/rights_text.h"

#include <array>

namespace permscope::rights {

namespace {

struct NamedMask {
    std::int32_t mask;
    const char* text;
};

// Compared in this order for exact equality; the first equal mask gives the text. The texts are
// the established ones of the tool, odd blanks included.
constexpr std::array<NamedMask, 6> kNamedMasks{{
    {0x1F01FF, "Vollzugriff"},
    {0x1301BF, "Ändern"},
    {0x1201BF, "Lesen, Ausführen,Ordnerinhalt auflisten,schreiben"},
    {0x1200A9, "Lesen, Ausführen"},
    {0x120089, "Lesen"},
    {0x100116, "Schreiben"},
}};

constexpr const char* kDenyPrefix = "Verweigert: ";

}  // namespace

std::string rights_text_for_mask(std::int32_t mask) {
    for (const NamedMask& named : kNamedMasks)
        if (named.mask == mask)
            return named.text;
    return std::to_string(mask);
}

std::string rights_text_for_entry(const platform::AccessEntry& entry) {
    std::string text = rights_text_for_mask(entry.access_mask);
    if (entry.type == platform::AceType::Deny)
        return kDenyPrefix + text;
    return text;
}

}  // namespace permscope::rights

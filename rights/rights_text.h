#pragma once
// The German rights text of an access mask and of an access entry.

#include <cstdint>
#include <string>

#include "platform/management.h"

namespace permscope::rights {

// One of six fixed texts when the mask equals one of the six known combinations exactly; any
// other mask as its signed 32-bit decimal value ("2032383", "-2147483648", "0").
std::string rights_text_for_mask(std::int32_t mask);

// The text of an allow entry is that of its mask. A deny entry takes away what it names, so its
// text says so: "Verweigert: " before the mask's text ("Verweigert: Schreiben").
std::string rights_text_for_entry(const platform::AccessEntry& entry);

}  // namespace permscope::rights

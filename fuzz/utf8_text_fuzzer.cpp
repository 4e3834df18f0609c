// Texts made fit for the workbook: the result is always well-formed UTF-8 without NUL and
// without U+FFFE or U+FFFF, a text that already is comes back unchanged, and cutting it to a
// number of characters never cuts a character.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "export/workbook.h"

using namespace permscope::spreadsheet;

// Checks the byte ranges of the Unicode standard's table of well-formed sequences.
static bool fit_for_workbook(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        if (n == 0 || b == 0 || b > 0xF4 || i + n > s.size() || s.substr(i, n) == "\xEF\xBF\xBE" ||
            s.substr(i, n) == "\xEF\xBF\xBF")
            return false;
        const unsigned lo = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF))
                return false;
        }
        i += n;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string fit = well_formed_utf8(text);
    if (!fit_for_workbook(fit) || (fit_for_workbook(text) && fit != text))
        std::abort();
    const std::string_view cut = first_characters(fit, size % 64);
    if (!fit_for_workbook(cut) || fit.substr(0, cut.size()) != cut)
        std::abort();
    return 0;
}

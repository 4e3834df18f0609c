#include "export/utf8_text.h"

#include <cstdint>

namespace permscope::spreadsheet {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed character that starts at text[at], or 0 when none starts there.
std::size_t character_length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF)
        return 0;
    return length;
}

// U+FFFE and U+FFFF are well-formed but may not stand in an XML document.
bool is_non_character(std::string_view character) {
    return character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF";
}

}  // namespace

std::string well_formed_utf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = character_length(text, at);
        if (length == 0) {
            result += kReplacement;  // one for each byte that starts no character
            ++at;
            continue;
        }
        const std::string_view character = text.substr(at, length);
        result +=
            is_non_character(character) || character.front() == '\0' ? kReplacement : character;
        at += length;
    }
    return result;
}

std::string_view first_characters(std::string_view text, std::size_t max_characters) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        // Every byte but a continuation byte (10xxxxxx) starts a character.
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && characters++ == max_characters)
            return text.substr(0, at);
    }
    return text;
}

}  // namespace permscope::spreadsheet

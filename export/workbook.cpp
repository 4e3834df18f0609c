#include "export/workbook.h"

#include <xlsxwriter.h>
#include <cstdint>
#include <string>

#include "common/owned.h"
#include "export/application.h"

namespace permscope::spreadsheet {

namespace {

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void refuse(std::string_view address, std::string_view why) {
    throw AutomationError("cell address \"" + std::string(address) + "\": " + std::string(why));
}

}  // namespace

CellRef parse_cell_address(std::string_view address) {
    std::size_t at = 0;
    std::uint64_t column = 0;
    while (at < address.size() && is_letter(address[at])) {
        if (at == 3)
            refuse(address, "column beyond XFD");
        const char upper = static_cast<char>(address[at] & ~0x20);
        column = column * 26 + static_cast<std::uint64_t>(upper - 'A' + 1);
        ++at;
    }
    if (at == 0)
        refuse(address, "no column letters");
    if (column > kMaxColumns)
        refuse(address, "column beyond XFD");

    const std::string_view digits = address.substr(at);
    if (digits.empty())
        refuse(address, "no row number");
    if (digits.front() == '0')
        refuse(address, "row number 0 or with leading zeros");
    std::uint64_t row = 0;
    for (char c : digits) {
        if (!is_digit(c))
            refuse(address, "not a cell address");
        row = row * 10 + static_cast<std::uint64_t>(c - '0');
        if (row > kMaxRows)
            refuse(address, "row beyond the last sheet row");
    }
    return CellRef{static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(column)};
}

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

namespace {

using LxwWorkbook = Owned<lxw_workbook, lxw_workbook_free>;

// The rules the file is written by are libxlsxwriter's: at most 31 characters, none of
// : \ / ? * [ ], no apostrophe at either end, and no other sheet of that name in any letter case.
// They are asked of a scratch workbook that holds the other sheets (all but renamed, which is null
// for a new sheet); nothing is written.
void check_sheet_name(const std::vector<Sheet>& sheets, const Sheet* renamed,
                      const std::string& name) {
    // The library reads the last character of the name, and a C string would end at a NUL.
    if (name.empty() || name.find('\0') != std::string::npos)
        throw AutomationError("sheet name \"" + name + "\": empty or holding a NUL byte");
    const LxwWorkbook scratch(workbook_new("unwritten.xlsx"));
    if (!scratch)
        throw AutomationError("cannot check the sheet name \"" + name + "\"");
    for (const Sheet& other : sheets)
        if (&other != renamed)
            workbook_add_worksheet(scratch.get(), other.name.c_str());
    const lxw_error error = workbook_validate_sheet_name(scratch.get(), name.c_str());
    if (error != LXW_NO_ERROR)
        throw AutomationError("sheet name \"" + name + "\": " + lxw_strerror(error));
}

}  // namespace

Workbook::Workbook() : sheets_{Sheet{"Tabelle1", {}}} {}

Sheet& Workbook::sheet(std::string_view name) {
    for (Sheet& s : sheets_)
        if (s.name == name)
            return s;
    throw AutomationError("no sheet \"" + std::string(name) + "\"");
}

void Workbook::select(std::string_view name) {
    const Sheet& chosen = sheet(name);
    active_ = static_cast<std::size_t>(&chosen - sheets_.data());
}

void Workbook::rename(std::string_view name, std::string new_name) {
    Sheet& renamed = sheet(name);
    check_sheet_name(sheets_, &renamed, new_name);
    renamed.name = std::move(new_name);
}

void Workbook::add_sheet(std::string name) {
    check_sheet_name(sheets_, nullptr, name);
    sheets_.push_back(Sheet{std::move(name), {}});
}

void Workbook::set_cell(std::string_view address, std::string_view value) {
    const CellRef ref = parse_cell_address(address);
    std::string text = well_formed_utf8(value);
    text.resize(first_characters(text, kMaxCellCharacters).size());
    sheets_[active_].cells[ref] = std::move(text);
}

}  // namespace permscope::spreadsheet

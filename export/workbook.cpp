#include "export/workbook.h"

#include <algorithm>

#include "export/application.h"
#include "export/utf8_text.h"

namespace permscope::spreadsheet {

namespace {

constexpr std::size_t kMaxSheetNameCharacters = 31;

char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

void check_sheet_name(std::string_view name) {
    const auto refuse = [&](std::string_view why) {
        throw AutomationError("sheet name \"" + std::string(name) + "\": " + std::string(why));
    };
    if (name.empty())
        refuse("empty");
    if (character_count(name) > kMaxSheetNameCharacters)
        refuse("longer than 31 characters");
    if (name.find_first_of(":\\/?*[]") != std::string_view::npos)
        refuse("forbidden character");
    if (name.front() == '\'' || name.back() == '\'')
        refuse("apostrophe at an end");
}

}  // namespace

std::size_t character_count(std::string_view text) {
    // Continuation bytes (10xxxxxx) belong to the character before them.
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

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
    check_sheet_name(new_name);
    for (const Sheet& other : sheets_)
        if (&other != &renamed && same_ignoring_case(other.name, new_name))
            throw AutomationError("a sheet \"" + other.name + "\" exists already");
    renamed.name = std::move(new_name);
}

void Workbook::set_cell(std::string_view address, std::string_view value) {
    const CellRef ref = parse_cell_address(address);
    std::string text = well_formed_utf8(value);
    text.resize(first_characters(text, kMaxCellCharacters).size());
    sheets_[active_].cells[ref] = std::move(text);
}

}  // namespace permscope::spreadsheet

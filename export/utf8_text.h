#pragma once
// Texts from the system (account names from the directory, file systems, SMB servers) are
// expected to be UTF-8 but are not checked anywhere before they reach a file format that demands
// it. One bad byte must not spoil a whole workbook.

#include <string>
#include <string_view>

namespace permscope::spreadsheet {

// The text with every byte that does not belong to a well-formed UTF-8 character (overlong
// forms, surrogates, code points past U+10FFFF, stray continuation bytes, cut-off sequences)
// the non-characters U+FFFE and U+FFFF, and NUL (which would end the text for the C library it
// goes to, and so cut a directory value that holds one) replaced by U+FFFD. Well-formed text
// without NUL comes back unchanged.
std::string well_formed_utf8(std::string_view text);

// The first max_characters characters of a well-formed text: it is cut before a character, never
// inside one. A shorter text comes back whole.
std::string_view first_characters(std::string_view text, std::size_t max_characters);

}  // namespace permscope::spreadsheet

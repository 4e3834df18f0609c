#include "rights/created_entries.h"

#include <charconv>
#include <stdexcept>

#include "common/name_list.h"
#include "rights/row_rights.h"

namespace permscope::rights {

namespace {

constexpr std::string_view kUserSuffixTest = "User";
constexpr std::size_t kUserSuffixLength = 5;   // "-User"
constexpr std::size_t kGroupSuffixLength = 6;  // "-Group"

// Only what Group_check writes is a position: decimal digits, no sign, no blanks.
std::optional<ResultList::Position> parse_position(std::string_view digits) {
    if (digits.empty() || digits.front() < '0' || digits.front() > '9')
        return std::nullopt;
    ResultList::Position position = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, position);
    if (error != std::errc{} || stop != end)
        return std::nullopt;
    return position;
}

}  // namespace

std::optional<CreatedEntry> parse_created_entry(std::string_view piece) {
    const bool names_user = piece.ends_with(kUserSuffixTest);
    const RowKind kind = names_user ? RowKind::User : RowKind::Group;
    const std::size_t suffix_length = names_user ? kUserSuffixLength : kGroupSuffixLength;
    if (piece.size() < suffix_length)
        return std::nullopt;
    const auto position = parse_position(piece.substr(0, piece.size() - suffix_length));
    if (!position)
        return std::nullopt;
    return CreatedEntry{kind, *position};
}

void write_rights_to_created_entries(std::string_view created_entries,
                                     const std::string& rights_text, ResultList& users,
                                     ResultList& groups) {
    const auto pieces = split_pieces(created_entries, ',');
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        const auto entry = parse_created_entry(pieces[i]);
        if (!entry)
            continue;
        try {
            if (entry->kind == RowKind::User)
                merge_user_rights(users, entry->position, rights_text);
            else
                append_group_rights(groups, entry->position, rights_text);
        } catch (const std::out_of_range&) {
            // The piece names no row: skip it, the next piece still gets its rights.
        }
    }
}

}  // namespace permscope::rights

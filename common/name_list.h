#pragma once
// Helpers for the name lists that share one cell ("G1; G2", "A;B") and for the other texts that
// are cut into pieces at a separator.

#include <string>
#include <string_view>
#include <vector>

namespace permscope {

// Cuts text at every separator. An empty text yields no pieces; otherwise n separators yield
// n + 1 pieces, empty ones included ("a;" gives "a" and "").
std::vector<std::string_view> split_pieces(std::string_view text, char separator = ';');

// Removes leading blanks (spaces only) and nothing else.
std::string_view remove_leading_blanks(std::string_view piece);

// True when some piece of the name list, with its leading blanks removed, equals name exactly.
bool name_list_contains(std::string_view list, std::string_view name);

}  // namespace permscope

#pragma once
// Text helpers: the name lists that share one cell ("G1; G2", "A;B") and other texts cut at a
// separator, trimming, and comparison without regard to case for protocol words.

#include <string>
#include <string_view>
#include <vector>

namespace permscope {

// Helpers for the name lists that share one cell ("G1; G2", "A;B") and for the other texts that
// are cut into pieces at a separator.

// Cuts text at every separator. An empty text yields no pieces; otherwise n separators yield
// n + 1 pieces, empty ones included ("a;" gives "a" and "").
std::vector<std::string_view> split_pieces(std::string_view text, char separator = ';');

// Removes blanks, tabs and line ends at both ends.
std::string_view trim(std::string_view text);

// Removes leading blanks (spaces only) and nothing else.
std::string_view remove_leading_blanks(std::string_view piece);

// True when some piece of the name list, with its leading blanks removed, equals name exactly.
bool name_list_contains(std::string_view list, std::string_view name);

// Comparisons without regard to case for the protocol words the program handles: attribute and
// field names, class names, keywords, configuration keys. ASCII only: these are never anything
// else, and folding other letters would need a locale the program does not want to depend on.

std::string ascii_lower(std::string_view text);
bool equals_ignoring_case(std::string_view a, std::string_view b);
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix);

}  // namespace permscope

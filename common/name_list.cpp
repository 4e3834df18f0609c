#include "common/name_list.h"

namespace permscope {

std::vector<std::string_view> split_pieces(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    if (text.empty()) return pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string_view remove_leading_blanks(std::string_view piece) {
    const std::size_t first = piece.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : piece.substr(first);
}

bool name_list_contains(std::string_view list, std::string_view name) {
    for (std::string_view piece : split_pieces(list))
        if (remove_leading_blanks(piece) == name) return true;
    return false;
}

}  // namespace permscope

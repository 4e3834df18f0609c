#include "platform/mountinfo.h"

namespace permscope::platform {

namespace {

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const auto start = line.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) {
            break;
        }
        auto end = line.find(' ', start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

bool is_octal_digit(char c) {
    return c >= '0' && c <= '7';
}

}  // namespace

std::string decode_octal_escapes(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && is_octal_digit(text[i + 1]) &&
            is_octal_digit(text[i + 2]) && is_octal_digit(text[i + 3])) {
            const int value =
                (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            result.push_back(static_cast<char>(value));
            i += 3;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

std::vector<MountEntry> parse_mountinfo(std::string_view text) {
    std::vector<MountEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const auto fields = fields_of(text.substr(start, end - start));
        start = end + 1;
        // id parent major:minor root mount-point options [optional fields...] - type source ...
        std::size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") {
            ++separator;
        }
        if (fields.size() < 6 || separator + 2 >= fields.size()) {
            continue;
        }
        entries.push_back(MountEntry{std::string(fields[2]), decode_octal_escapes(fields[3]),
                                     decode_octal_escapes(fields[4]),
                                     decode_octal_escapes(fields[separator + 1]),
                                     decode_octal_escapes(fields[separator + 2])});
    }
    return entries;
}

}  // namespace permscope::platform

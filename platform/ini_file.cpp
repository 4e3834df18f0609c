#include "platform/ini_file.h"

#include "platform/text_utils.h"

namespace permscope::platform {

namespace {

// Joins lines ending in a backslash with the next one.
std::vector<std::string> logical_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::string pending;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const auto trimmed_end = line.find_last_not_of(" \t");
        if (trimmed_end != std::string_view::npos && line[trimmed_end] == '\\') {
            pending.append(line.substr(0, trimmed_end));
        } else {
            pending.append(line);
            lines.push_back(std::move(pending));
            pending.clear();
        }
        start = end + 1;
    }
    if (!pending.empty()) {
        lines.push_back(std::move(pending));
    }
    return lines;
}

bool is_comment(std::string_view line) {
    return line.empty() || line.front() == '#' || line.front() == ';';
}

}  // namespace

std::string normalise_ini_key(std::string_view key) {
    std::string result;
    for (char c : ascii_lower(key)) {
        if (c != ' ' && c != '\t' && c != '_') {
            result.push_back(c);
        }
    }
    return result;
}

std::optional<std::string> IniSection::value(std::string_view key) const {
    const std::string wanted = normalise_ini_key(key);
    std::optional<std::string> found;
    for (const auto& [name, value] : entries) {
        if (name == wanted) {
            found = value;
        }
    }
    return found;
}

std::vector<IniSection> parse_ini(std::string_view text) {
    std::vector<IniSection> sections(1);
    for (const std::string& raw : logical_lines(text)) {
        const std::string_view line = trim(raw);
        if (is_comment(line)) {
            continue;
        }
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close != std::string_view::npos) {
                sections.push_back(IniSection{std::string(trim(line.substr(1, close - 1))), {}});
            }
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        sections.back().entries.emplace_back(normalise_ini_key(trim(line.substr(0, equals))),
                                             std::string(trim(line.substr(equals + 1))));
    }
    if (sections.front().entries.empty()) {
        sections.erase(sections.begin());
    }
    return sections;
}

}  // namespace permscope::platform

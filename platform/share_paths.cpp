#include "platform/share_paths.h"

#include <vector>

#include "common/text.h"

namespace permscope::platform {

namespace {

using Components = std::vector<std::string_view>;

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// %XX as the byte it stands for; a "%" not followed by two hexadecimal digits stays as it is.
std::string percent_decoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
            hex_value(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// The non-empty components of a "/" path.
Components path_components(std::string_view path) {
    Components components;
    for (const std::string_view piece : split_pieces(path, '/'))
        if (!piece.empty())
            components.push_back(piece);
    return components;
}

// "[user@]server[:port]" gives the server.
std::string_view server_of_authority(std::string_view authority) {
    if (const auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    return authority.substr(0, authority.find(':'));
}

std::optional<std::string> share_path(std::string_view server, std::string_view share,
                                      const Components& rest, std::size_t first, bool decode) {
    if (server.empty() || share.empty())
        return std::nullopt;
    const auto text = [&](std::string_view component) {
        return decode ? percent_decoded(component) : std::string(component);
    };
    std::string path = "\\\\" + text(server) + "\\" + text(share);
    for (std::size_t i = first; i < rest.size(); ++i)
        path += "\\" + text(rest[i]);
    return path;
}

// "smb-share:server=S,share=SH,user=U" gives S and SH, decoded.
std::optional<std::string> gvfs_share_path(const Components& components, std::size_t mount) {
    constexpr std::string_view kPrefix = "smb-share:";
    std::string server, share;
    for (const std::string_view item :
         split_pieces(components[mount].substr(kPrefix.size()), ',')) {
        const auto equals = item.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = item.substr(0, equals);
        if (key == "server")
            server = percent_decoded(item.substr(equals + 1));
        else if (key == "share")
            share = percent_decoded(item.substr(equals + 1));
    }
    return share_path(server, share, components, mount + 1, false);
}

}  // namespace

std::optional<std::string> desktop_share_path(std::string_view folder_path) {
    constexpr std::string_view kScheme = "smb://";
    if (starts_with_ignoring_case(folder_path, kScheme)) {
        const Components components = path_components(folder_path.substr(kScheme.size()));
        if (components.size() < 2 || folder_path.substr(kScheme.size()).starts_with('/'))
            return std::nullopt;
        return share_path(server_of_authority(components[0]), components[1], components, 2, true);
    }
    if (!folder_path.starts_with('/'))
        return std::nullopt;
    const Components components = path_components(folder_path);
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        // gvfs mounts in the user's runtime folder, older versions in ~/.gvfs.
        if ((components[i] == "gvfs" || components[i] == ".gvfs") &&
            components[i + 1].starts_with("smb-share:"))
            return gvfs_share_path(components, i + 1);
        if (components[i].starts_with("kio-fuse-") && components[i + 1] == "smb" &&
            i + 3 < components.size())
            return share_path(server_of_authority(components[i + 2]), components[i + 3], components,
                              i + 4, false);
    }
    return std::nullopt;
}

}  // namespace permscope::platform

#include "platform/smb_share.h"

#include <libsmbclient.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/kerberos.h"

namespace permscope::platform {

namespace {

// The whole descriptor, with account names resolved by the server ("+").
constexpr const char* kDescriptorWithNames = "system.nt_sec_desc.*+";
constexpr std::size_t kLargestBufferSize = 64u << 20;

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// A path component in a URL: every byte outside the unreserved characters as %XX.
std::string percent_encoded(std::string_view component) {
    std::string source(component);
    std::string encoded(source.size() * 3 + 1, '\0');
    smbc_urlencode(encoded.data(), source.data(), static_cast<int>(encoded.size()));
    encoded.resize(std::strlen(encoded.c_str()));
    return encoded;
}

std::vector<std::string_view> components_of(std::string_view path) {
    std::vector<std::string_view> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !is_separator(path[end])) {
            ++end;
        }
        if (end > start) {
            components.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return components;
}

// The whole text as a number of the base; nothing for anything else, or a number too large.
template <typename Number>
std::optional<Number> whole_number(std::string_view text, int base) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint32_t> parse_hex_mask(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    return whole_number<std::uint32_t>(text, 16);
}

std::optional<unsigned> parse_decimal(std::string_view text) {
    return whole_number<unsigned>(text, 10);
}

// "DOMAIN\name:type/flags/0xMASK"; the name may itself hold ":" or ",", so the fields are taken
// from the end.
AccessEntry parse_entry(std::string_view text) {
    const auto colon = text.rfind(':');
    const auto first_slash = text.find('/', colon == std::string_view::npos ? 0 : colon);
    const auto second_slash = first_slash == std::string_view::npos
                                  ? std::string_view::npos
                                  : text.find('/', first_slash + 1);
    if (colon == std::string_view::npos || second_slash == std::string_view::npos) {
        throw ManagementError("malformed access entry: " + std::string(text));
    }
    const auto type = parse_decimal(text.substr(colon + 1, first_slash - colon - 1));
    const auto flags = parse_decimal(text.substr(first_slash + 1, second_slash - first_slash - 1));
    const auto mask = parse_hex_mask(text.substr(second_slash + 1));
    if (!type || !flags || !mask || *type > 1) {
        throw ManagementError("malformed access entry: " + std::string(text));
    }
    std::string_view trustee = text.substr(0, colon);
    if (const auto backslash = trustee.rfind('\\'); backslash != std::string_view::npos) {
        trustee.remove_prefix(backslash + 1);
    }
    return AccessEntry{std::string(trustee), static_cast<std::int32_t>(*mask),
                       *type == 1 ? AceType::Deny : AceType::Allow};
}

std::string describe_errno(int error) {
    return std::strerror(error);
}

}  // namespace

std::string smb_url_of_share_path(std::string_view share_path) {
    if (share_path.size() < 2 || !is_separator(share_path[0]) || !is_separator(share_path[1])) {
        throw ManagementError("not a share path: " + std::string(share_path));
    }
    // No file name holds a NUL byte, and a C string would end at it: a different path.
    if (share_path.find('\0') != std::string_view::npos) {
        throw ManagementError("a share path holds no NUL byte");
    }
    const auto components = components_of(share_path.substr(2));
    if (components.empty() || is_separator(share_path[2])) {
        throw ManagementError("share path without server: " + std::string(share_path));
    }
    std::string url = "smb:/";
    for (const std::string_view component : components) {
        url += '/';
        url += percent_encoded(component);
    }
    return url;
}

std::vector<AccessEntry> parse_nt_security_descriptor(std::string_view text) {
    // Entries begin at ",ACL:"; everything before the first one is revision, owner and group.
    constexpr std::string_view kEntryStart = "ACL:";
    std::vector<AccessEntry> entries;
    std::size_t pos = text.starts_with(kEntryStart) ? 0 : text.find(",ACL:");
    while (pos != std::string_view::npos) {
        const std::size_t begin = pos + (text[pos] == ',' ? 1 : 0) + kEntryStart.size();
        const std::size_t next = text.find(",ACL:", begin);
        const std::size_t end = next == std::string_view::npos ? text.size() : next;
        entries.push_back(parse_entry(text.substr(begin, end - begin)));
        pos = next;
    }
    return entries;
}

struct SmbShareFolder::Context {
    SMBCCTX* ctx = nullptr;
    std::string user;  // the Kerberos principal's user, empty for an anonymous session

    ~Context() {
        if (ctx != nullptr) {
            smbc_free_context(ctx, 1);
        }
    }

    static void authenticate(SMBCCTX* ctx, const char* /*server*/, const char* /*share*/,
                             char* /*workgroup*/, int /*workgroup_size*/, char* user, int user_size,
                             char* password, int password_size) {
        const auto* self = static_cast<const Context*>(smbc_getOptionUserData(ctx));
        if (user_size > 0) {
            std::snprintf(user, static_cast<std::size_t>(user_size), "%s",
                          self != nullptr ? self->user.c_str() : "");
        }
        if (password_size > 0) {
            password[0] = '\0';
        }
    }
};

SmbShareFolder::SmbShareFolder(std::string_view share_path, const SmbOptions& options)
    : context_(std::make_unique<Context>()),
      url_(smb_url_of_share_path(share_path)),
      first_read_size_(std::max<std::size_t>(options.first_read_size, 2)) {
    context_->user = kerberos_ticket_user().value_or(std::string());
    context_->ctx = smbc_new_context();
    if (context_->ctx == nullptr) {
        throw ManagementError("cannot create an SMB client context");
    }
    SMBCCTX* ctx = context_->ctx;
    smbc_setOptionDebugToStderr(ctx, 1);
    smbc_setOptionUserData(ctx, context_.get());
    smbc_setFunctionAuthDataWithContext(ctx, &Context::authenticate);
    smbc_setPort(ctx, options.port);
    smbc_setTimeout(ctx, static_cast<int>(options.timeout.count()));
    smbc_setOptionUseKerberos(ctx, context_->user.empty() ? 0 : 1);
    smbc_setOptionFallbackAfterKerberos(ctx, 1);
    smbc_setOptionUseCCache(ctx, 1);
    if (smbc_init_context(ctx) == nullptr) {
        const int error = errno;
        smbc_free_context(ctx, 0);
        context_->ctx = nullptr;
        throw ManagementError("cannot initialise the SMB client: " + describe_errno(error));
    }
    struct stat info {};
    if (smbc_getFunctionStat(ctx)(ctx, url_.c_str(), &info) != 0) {
        throw ManagementError("cannot reach " + std::string(share_path) + ": " +
                              describe_errno(errno));
    }
    if (!S_ISDIR(info.st_mode)) {
        throw ManagementError(std::string(share_path) + " is not a folder");
    }
}

SmbShareFolder::~SmbShareFolder() = default;

std::string SmbShareFolder::security_descriptor_text() {
    SMBCCTX* ctx = context_->ctx;
    const auto getxattr = smbc_getFunctionGetxattr(ctx);
    std::vector<char> buffer(first_read_size_);
    for (;;) {
        const int result =
            getxattr(ctx, url_.c_str(), kDescriptorWithNames, buffer.data(), buffer.size());
        const int error = errno;
        // A buffer exactly as long as the text leaves no room for its end mark: libsmbclient then
        // cuts the last character and still reports success. So a text that reaches the buffer's
        // end is read again with more room.
        const std::size_t length = ::strnlen(buffer.data(), buffer.size());
        const bool short_buffer =
            (result < 0 && error == ERANGE) || (result >= 0 && length >= buffer.size() - 1);
        if (!short_buffer && result >= 0) {
            return std::string(buffer.data(), length);
        }
        if (!short_buffer || buffer.size() >= kLargestBufferSize) {
            throw ManagementError("cannot read the security descriptor of " + url_ + ": " +
                                  describe_errno(short_buffer ? ERANGE : error));
        }
        buffer.assign(buffer.size() * 4, '\0');
    }
}

}  // namespace permscope::platform

#include "platform/smb_share.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/forked_call.h"
#include "platform/kerberos.h"
#include "platform/smbclient_library.h"

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
    smbclient_library().urlencode(encoded.data(), source.data(), static_cast<int>(encoded.size()));
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
    return AccessEntry{std::string(trustee),
                       static_cast<std::int32_t>(*mask),
                       *type == 1 ? AceType::Deny : AceType::Allow,
                       {}};
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

namespace {

using Clock = std::chrono::steady_clock;

// What the child process that reads the folder tells its parent: records of a tag, a 32-bit length
// and that many bytes, in this order.
enum class Record : char {
    FolderFound = 'F',
    // "<errno> <session> <lookup>": session 1 when a session to the share came up, lookup 1 when
    // the connection for the account-name lookup did, else 0.
    Failed = 'E',
    Descriptor = 'D',
    NamesLookedUp = 'N',  // "1" or "0"
    SubFolder = 'S',      // a sub-folder's name, of a listing
    Listed = 'L',         // the listing's end
};

void send_record(int fd, Record tag, const std::string& payload = {}) {
    std::string framed(1, static_cast<char>(tag));
    const auto size = static_cast<std::uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i)
        framed += static_cast<char>((size >> (8 * i)) & 0xFF);
    write_all(fd, framed + payload);
}

// One libsmbclient context in the child. It is never freed: the child's end closes its
// connections without a word to the server, and so without a wait.
class ChildClient {
  public:
    ChildClient(const SmbOptions& options, const std::string& ticket_user)
        : smb_(smbclient_library()), user_(ticket_user) {
        ctx_ = smb_.new_context();
        if (ctx_ == nullptr)
            throw std::system_error(errno, std::generic_category());
        smb_.setOptionDebugToStderr(ctx_, 1);
        smb_.setOptionUserData(ctx_, this);
        smb_.setFunctionAuthDataWithContext(ctx_, &ChildClient::authenticate);
        add_cached_ = smb_.getFunctionAddCachedServer(ctx_);
        smb_.setFunctionAddCachedServer(ctx_, &ChildClient::remember_connection);
        smb_.setPort(ctx_, options.port);
        smb_.setTimeout(ctx_, static_cast<int>(options.timeout.count()));
        smb_.setOptionUseKerberos(ctx_, user_.empty() ? 0 : 1);
        smb_.setOptionFallbackAfterKerberos(ctx_, 1);
        smb_.setOptionUseCCache(ctx_, 1);
        if (smb_.init_context(ctx_) == nullptr)
            throw std::system_error(errno, std::generic_category());
    }

    const SmbClientLibrary& library() const { return smb_; }
    SMBCCTX* context() const { return ctx_; }
    // A session to the share came up (connection, session set-up and tree connect).
    bool session_up() const { return session_up_; }

    // libsmbclient reads a descriptor only over the connection to IPC$ it opens for the name
    // lookup.
    bool lookup_connection_came_up() const { return lookup_server_ != nullptr; }
    // Whether the server's account-name lookup ran: its connection came up and is still there.
    bool names_looked_up() const {
        return lookup_server_ != nullptr &&
               smb_.getFunctionCheckServer(ctx_)(ctx_, lookup_server_) == 0;
    }

  private:
    static void authenticate(SMBCCTX* ctx, const char* /*server*/, const char* /*share*/,
                             char* /*workgroup*/, int /*workgroup_size*/, char* user, int user_size,
                             char* password, int password_size) {
        const auto* self =
            static_cast<const ChildClient*>(smbclient_library().getOptionUserData(ctx));
        if (user_size > 0)
            std::snprintf(user, static_cast<std::size_t>(user_size), "%s", self->user_.c_str());
        if (password_size > 0)
            password[0] = '\0';
    }

    // libsmbclient keeps every connection that came up in its cache: the share's own, and the one
    // to IPC$ ("*IPC$") over which it looks account names up.
    static int remember_connection(SMBCCTX* ctx, SMBCSRV* server, const char* name,
                                   const char* share, const char* workgroup, const char* user) {
        auto* self = static_cast<ChildClient*>(smbclient_library().getOptionUserData(ctx));
        const int result = self->add_cached_(ctx, server, name, share, workgroup, user);
        if (result == 0 && std::strcmp(share, "*IPC$") == 0) {
            self->lookup_server_ = server;
        } else if (result == 0) {
            self->session_up_ = true;
        }
        return result;
    }

    const SmbClientLibrary& smb_;
    SMBCCTX* ctx_ = nullptr;
    std::string user_;
    smbc_add_cached_srv_fn add_cached_ = nullptr;
    bool session_up_ = false;
    SMBCSRV* lookup_server_ = nullptr;
};

// The descriptor text with account names, read with a buffer that grows until the text fits.
// Nothing, with errno set, when the server gives none.
std::optional<std::string> read_descriptor_text(SMBCCTX* ctx, const std::string& url,
                                                std::size_t first_read_size) {
    const auto getxattr = smbclient_library().getFunctionGetxattr(ctx);
    std::vector<char> buffer(first_read_size);
    for (;;) {
        const int result =
            getxattr(ctx, url.c_str(), kDescriptorWithNames, buffer.data(), buffer.size());
        const int error = errno;
        // A buffer exactly as long as the text leaves no room for its end mark: libsmbclient then
        // cuts the last character and still reports success. So a text that reaches the buffer's
        // end is read again with more room.
        const std::size_t length = ::strnlen(buffer.data(), buffer.size());
        const bool short_buffer =
            (result < 0 && error == ERANGE) || (result >= 0 && length >= buffer.size() - 1);
        if (!short_buffer && result >= 0)
            return std::string(buffer.data(), length);
        if (!short_buffer || buffer.size() >= kLargestBufferSize) {
            errno = short_buffer ? ERANGE : error;
            return std::nullopt;
        }
        buffer.assign(buffer.size() * 4, '\0');
    }
}

void send_failure(int fd, int error, bool session_up, bool lookup_up = false) {
    send_record(fd, Record::Failed,
                std::to_string(error) + (session_up ? " 1" : " 0") + (lookup_up ? " 1" : " 0"));
}

bool is_server_error(int error) {
    switch (error) {
        case ETIMEDOUT:
        case ECONNREFUSED:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case EADDRNOTAVAIL:
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ENOTCONN:
            return true;
        default:
            return false;
    }
}

// libsmbclient does not always say why a step failed on a session that was up: a descriptor
// whose answer never came fails with errno 0. A step that failed after waiting the whole time-out
// waited for a server that did not answer.
int step_failure(const ChildClient& client, int error, Clock::duration took,
                 std::chrono::milliseconds timeout) {
    if (is_server_error(error) || !client.session_up() || took < timeout)
        return error;
    return ETIMEDOUT;
}

// Tells the parent that the step begun at started failed (errno says how), and how far the
// client's connections came.
void send_step_failure(int fd, const ChildClient& client, Clock::time_point started,
                       const SmbOptions& options) {
    const int error = step_failure(client, errno, Clock::now() - started, options.timeout);
    send_failure(fd, error, client.session_up(), client.lookup_connection_came_up());
}

// The child's client, made in client; false, the failure told to the parent, where it cannot be
// made.
bool start_client(std::optional<ChildClient>& client, int fd, const SmbOptions& options,
                  const std::string& ticket_user) {
    try {
        client.emplace(options, ticket_user);
        return true;
    } catch (const std::system_error& error) {
        send_failure(fd, error.code().value(), false);
        return false;
    }
}

// The child's whole read: the folder, then its descriptor, then whether names were looked up.
void read_in_child(int fd, const std::string& url, const SmbOptions& options,
                   const std::string& ticket_user) {
    std::optional<ChildClient> client;
    if (!start_client(client, fd, options, ticket_user))
        return;
    SMBCCTX* ctx = client->context();
    struct stat info {};
    auto started = Clock::now();
    if (client->library().getFunctionStat(ctx)(ctx, url.c_str(), &info) != 0)
        return send_step_failure(fd, *client, started, options);
    if (!S_ISDIR(info.st_mode))
        return send_failure(fd, ENOTDIR, true);
    send_record(fd, Record::FolderFound);
    started = Clock::now();
    const auto text = read_descriptor_text(ctx, url, options.first_read_size);
    if (!text)
        return send_step_failure(fd, *client, started, options);
    send_record(fd, Record::Descriptor, *text);
    // Only a SID left as text asks whether the lookup ran: the server may just not know it.
    const bool unnamed = text->find("ACL:S-1-") != std::string::npos;
    send_record(fd, Record::NamesLookedUp, !unnamed || client->names_looked_up() ? "1" : "0");
}

// The child's listing of the folder's sub-folders, each name a record, then the end.
void list_in_child(int fd, const std::string& url, const SmbOptions& options,
                   const std::string& ticket_user) {
    std::optional<ChildClient> client;
    if (!start_client(client, fd, options, ticket_user))
        return;
    SMBCCTX* ctx = client->context();
    const auto started = Clock::now();
    SMBCFILE* listing = client->library().getFunctionOpendir(ctx)(ctx, url.c_str());
    if (listing == nullptr)
        return send_step_failure(fd, *client, started, options);
    const auto readdir = client->library().getFunctionReaddir(ctx);
    while (const smbc_dirent* entry = readdir(ctx, listing)) {
        const std::string_view name(entry->name);
        if (entry->smbc_type == SMBC_DIR && name != "." && name != "..")
            send_record(fd, Record::SubFolder, std::string(name));
    }
    send_record(fd, Record::Listed);
}

// What the parent learnt from the child.
struct ChildReport {
    bool folder_found = false;
    std::optional<int> error;
    bool session_up = false;
    bool lookup_up = false;
    std::optional<std::string> text;
    std::optional<bool> names_looked_up;
    std::vector<std::string> sub_folders;
    bool listed = false;
};

ChildReport parse_report(std::string_view output) {
    ChildReport report;
    while (output.size() >= 5) {
        std::uint32_t size = 0;
        for (int i = 3; i >= 0; --i)
            size =
                (size << 8) | static_cast<unsigned char>(output[1 + static_cast<std::size_t>(i)]);
        if (output.size() - 5 < size)
            break;
        const auto tag = static_cast<Record>(output[0]);
        const std::string_view payload = output.substr(5, size);
        output.remove_prefix(5 + size);
        if (tag == Record::FolderFound) {
            report.folder_found = true;
        } else if (tag == Record::Descriptor) {
            report.text = std::string(payload);
        } else if (tag == Record::NamesLookedUp) {
            report.names_looked_up = payload == "1";
        } else if (tag == Record::SubFolder) {
            report.sub_folders.emplace_back(payload);
        } else if (tag == Record::Listed) {
            report.listed = true;
        } else if (tag == Record::Failed) {
            const auto blank = payload.find(' ');
            report.error = parse_decimal(payload.substr(0, blank)).value_or(EIO);
            report.session_up = payload.substr(blank + 1, 1) == "1";
            report.lookup_up = payload.substr(blank + 3, 1) == "1";
        }
    }
    return report;
}

std::string seconds_text(std::chrono::milliseconds duration) {
    char text[32];
    if (duration.count() % 1000 == 0)
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(duration.count() / 1000));
    else
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000);
    return text;
}

// What went wrong with the server, in words for the user; nothing when the failure lies with
// the folder (none there, or its access list closed to us).
std::optional<std::string> server_fault(int error, bool session_up, const SmbOptions& options,
                                        const std::string& ticket_user) {
    const std::string reason = " (" + describe_errno(error) + ")";
    switch (error) {
        case ETIMEDOUT:
            return "stopped answering (no answer within " + seconds_text(options.timeout) + ")";
        case ECONNREFUSED:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case EADDRNOTAVAIL:
            return "could not be reached" + reason;
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ENOTCONN:
            return std::string("dropped the connection");
        case EACCES:
        case EPERM:
            if (session_up)
                return std::nullopt;
            if (ticket_user.empty())
                return "refused the session" + reason +
                       ": it wants an authenticated user, and there is no valid Kerberos ticket "
                       "(kinit gets one)";
            return "refused the session of " + ticket_user + reason;
        default:
            return std::nullopt;
    }
}

std::string server_of(std::string_view share_path) {
    const auto components = components_of(share_path.substr(2));
    return components.empty() ? std::string() : std::string(components.front());
}

std::string share_server_problem(const std::string& server, const std::string& fault) {
    return "The share server " + server + " " + fault + ". The lists are empty.";
}

}  // namespace

SmbShareFolder::SmbShareFolder(std::string_view share_path, const SmbOptions& options) {
    // Encoding the URL loads the client library here, before the fork, so the child finds it
    // loaded instead of loading it again on every read.
    const std::string url = smb_url_of_share_path(share_path);
    const std::string server = server_of(share_path);
    const std::string ticket_user = kerberos_ticket_user().value_or(std::string());
    SmbOptions child_options = options;
    child_options.first_read_size = std::max<std::size_t>(options.first_read_size, 2);
    const ForkedCallResult call = call_in_child_process(
        [&](int fd) { read_in_child(fd, url, child_options, ticket_user); }, options.deadline);
    const ChildReport report = parse_report(call.output);

    std::string fault;  // for the user
    std::string failure;
    if (!call.finished) {
        fault =
            "stopped answering (no answer within " + seconds_text(options.deadline) +
            (report.folder_found ? " while the access list and its account names were read)" : ")");
    } else if (report.error) {
        fault = server_fault(*report.error, report.session_up, options, ticket_user)
                    .value_or(std::string());
        // Without that connection there is no descriptor: the server failed it.
        if (fault.empty() && report.folder_found && !report.lookup_up)
            fault =
                "could not give the access list (its connection for the access list and the "
                "account names failed)";
        failure = "cannot read " + std::string(share_path) + ": " + describe_errno(*report.error);
    } else if (!report.text || !report.names_looked_up) {
        fault = "ended the read without an answer";
    }
    if (!fault.empty())
        failure = share_server_problem(server, fault);
    if (!report.folder_found) {
        if (!fault.empty())
            throw ShareServerError(failure);
        throw ManagementError(failure);
    }
    if (!failure.empty()) {
        descriptor_error_ = failure;
        descriptor_error_for_user_ = !fault.empty();
        return;
    }
    text_ = *report.text;
    if (!*report.names_looked_up)
        name_lookup_problem_ = "The share server " + server +
                               " could not look up the accounts' names (its connection for the "
                               "name lookup failed).";
}

const std::string& SmbShareFolder::security_descriptor_text() const {
    if (descriptor_error_for_user_)
        throw ShareServerError(descriptor_error_);
    if (!descriptor_error_.empty())
        throw ManagementError(descriptor_error_);
    return text_;
}

std::vector<std::string> share_sub_folder_names(std::string_view share_path,
                                                const SmbOptions& options) {
    const std::string url = smb_url_of_share_path(share_path);
    const std::string ticket_user = kerberos_ticket_user().value_or(std::string());
    const ForkedCallResult call = call_in_child_process(
        [&](int fd) { list_in_child(fd, url, options, ticket_user); }, options.deadline);
    const ChildReport report = parse_report(call.output);
    if (report.listed)
        return report.sub_folders;
    const std::string failed = "cannot list the sub-folders of " + std::string(share_path) + ": ";
    std::optional<std::string> fault;
    if (!call.finished)
        fault = "stopped answering (no answer within " + seconds_text(options.deadline) + ")";
    else if (!report.error)
        fault = "ended the listing without an answer";
    else
        fault = server_fault(*report.error, report.session_up, options, ticket_user);
    if (fault)
        throw ShareServerError(failed + "the share server " + server_of(share_path) + " " + *fault);
    throw ManagementError(failed + describe_errno(*report.error));
}

}  // namespace permscope::platform

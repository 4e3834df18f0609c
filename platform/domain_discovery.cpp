#include "platform/domain_discovery.h"

#include <fcntl.h>
#include <ldap.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/kerberos.h"

namespace permscope::platform {

namespace {

constexpr std::string_view kSssdDomainPrefix = "domain/";

void add_if_present(std::vector<std::string>& names, const std::optional<std::string>& name) {
    if (name && !name->empty()) {
        names.push_back(ascii_lower(*name));
    }
}

// The default search base of libldap (ldap.conf, LDAPCONF, LDAPRC, LDAPBASE ...), as a DNS name.
std::optional<std::string> ldap_default_base_domain() {
    char* base = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_DEFBASE, &base) != LDAP_OPT_SUCCESS || base == nullptr) {
        return std::nullopt;
    }
    // The trailing dc= components make the domain's name: "ou=x,dc=Example,dc=org" is in
    // "Example.org".
    char* domain = nullptr;
    const int result = ldap_dn2domain(base, &domain);
    ldap_memfree(base);
    std::optional<std::string> name;
    if (result == LDAP_SUCCESS && domain != nullptr && *domain != '\0') {
        name = domain;
    }
    ldap_memfree(domain);
    return name;
}

}  // namespace

std::vector<std::string> sssd_ad_domains(std::string_view sssd_conf) {
    std::vector<std::string> domains;
    for (const IniSection& section : parse_ini(sssd_conf)) {
        if (!section.name.starts_with(kSssdDomainPrefix)) {
            continue;
        }
        const auto provider = section.value("id_provider");
        if (!provider || !equals_ignoring_case(*provider, "ad")) {
            continue;
        }
        const auto ad_domain = section.value("ad_domain");
        std::string name = (ad_domain && !ad_domain->empty())
                               ? *ad_domain
                               : section.name.substr(kSssdDomainPrefix.size());
        if (!name.empty()) {
            domains.push_back(std::move(name));
        }
    }
    return domains;
}

std::optional<std::string> samba_ads_realm(std::string_view smb_conf) {
    std::optional<std::string> realm;
    for (const IniSection& section : parse_ini(smb_conf)) {
        if (!equals_ignoring_case(section.name, "global")) {
            continue;
        }
        const auto security = section.value("security");
        if (security && equals_ignoring_case(*security, "ads")) {
            realm = section.value("realm");
        } else if (security) {
            realm.reset();
        }
    }
    if (realm && realm->empty()) {
        realm.reset();
    }
    return realm;
}

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

// Lower case with blanks and underscores removed.
std::string normalise_ini_key(std::string_view key) {
    std::string result;
    for (char c : ascii_lower(key)) {
        if (c != ' ' && c != '\t' && c != '_') {
            result.push_back(c);
        }
    }
    return result;
}

}  // namespace

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

namespace {

// The lines of a long file that fit into the limit.
std::string_view whole_lines_within_limit(std::string_view text) {
    const std::size_t end = text.rfind('\n', kConfigFileLimit - 1);
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

// An open descriptor's content, at most limit bytes.
std::string read_at_most(int fd, std::size_t limit) {
    std::string content(limit, '\0');
    std::size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::read(fd, content.data() + got, limit - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    content.resize(got);
    return content;
}

// The content of a regular configuration file: all of it up to kConfigFileLimit bytes; of a
// longer one its lines up to the limit (a line the limit cuts is left out), and stderr says so.
// Empty when the file cannot be read or is no regular file (a FIFO is never waited on).
std::string read_config_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat info {};
    std::string content;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        content = read_at_most(fd, kConfigFileLimit + 1);
    ::close(fd);
    if (content.size() <= kConfigFileLimit)
        return content;
    std::fprintf(stderr, "permscope: %s is longer than 1 MiB; the rest of it is ignored\n",
                 path.c_str());
    return std::string(whole_lines_within_limit(content));
}

// A file only this process sees, holding content; its path names the open descriptor, which is
// kept for the life of the process (the libraries read their files at any time).
std::string in_memory_copy(const std::string& name, std::string_view content) {
    const int fd = memfd_create(name.c_str(), MFD_CLOEXEC);
    if (fd < 0)
        return {};
    for (std::size_t written = 0; written < content.size();) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n <= 0) {
            ::close(fd);
            return {};
        }
        written += static_cast<std::size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

// The files of a colon-separated list, each file longer than the limit replaced by its copy.
std::string limited_file_list(std::string_view files) {
    std::string result;
    for (std::size_t start = 0; start <= files.size();) {
        const std::size_t end = std::min(files.find(':', start), files.size());
        std::string file(files.substr(start, end - start));
        struct stat info {};
        if (::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<std::size_t>(info.st_size) > kConfigFileLimit) {
            const std::string copy = in_memory_copy("permscope-config", read_config_file(file));
            if (!copy.empty())
                file = copy;
        }
        result += (result.empty() ? "" : ":") + file;
        start = end + 1;
    }
    return result;
}

void limit_file_list(const char* variable, const char* system_default) {
    const char* named = std::getenv(variable);
    const std::string files = named ? named : system_default;
    const std::string limited = limited_file_list(files);
    if (limited != files)
        ::setenv(variable, limited.c_str(), 1);
}

}  // namespace

void limit_library_configuration() {
    static std::once_flag once;
    std::call_once(once, [] {
        limit_file_list("KRB5_CONFIG", "/etc/krb5.conf");
        limit_file_list("LDAPCONF", "/etc/ldap/ldap.conf");
    });
}

std::vector<std::string> discover_forest_names(const DomainSources& config) {
    std::vector<std::string> names;
    for (const std::string& domain : sssd_ad_domains(read_config_file(config.sssd_conf))) {
        add_if_present(names, domain);
    }
    add_if_present(names, samba_ads_realm(read_config_file(config.smb_conf)));
    add_if_present(names, kerberos_default_realm());
    add_if_present(names, ldap_default_base_domain());
    return names;
}

}  // namespace permscope::platform

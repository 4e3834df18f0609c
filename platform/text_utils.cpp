#include "platform/text_utils.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace permscope::platform {

std::string_view trim(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool read_text_file(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        return false;
    }
    content = buffer.str();
    return true;
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

void limit_library_configuration() {
    static std::once_flag once;
    std::call_once(once, [] {
        limit_file_list("KRB5_CONFIG", "/etc/krb5.conf");
        limit_file_list("LDAPCONF", "/etc/ldap/ldap.conf");
    });
}

}  // namespace permscope::platform

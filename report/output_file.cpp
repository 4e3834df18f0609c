#include "report/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "export/desktop_spreadsheet.h"

namespace permscope::report {

namespace {

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

[[noreturn]] void fail(const std::string& path, int error) {
    throw OutputError("cannot write " + path + ": " + std::strerror(error));
}

// Writes all of content to fd; false with errno set when it cannot.
bool write_all(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Renames the finished file at temporary into place, or removes it.
void move_into_place(const std::string& temporary, const std::string& path) {
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(path, error);
    }
}

}  // namespace

void write_output_file(const std::string& path, std::string_view content) {
    std::string name = folder_of(path) + "/.permscope-report-XXXXXX";
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back('\0');
    const int fd = ::mkstemp(pattern.data());  // mode 0600
    if (fd < 0)
        fail(path, errno);
    const std::string temporary(pattern.data());
    const bool written = write_all(fd, content);
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        const int reported = written ? errno : error;
        ::unlink(temporary.c_str());
        fail(path, reported);
    }
    move_into_place(temporary, path);
}

void write_output_workbook(const std::string& path, const spreadsheet::Workbook& workbook) {
    std::string temporary;
    try {
        temporary = spreadsheet::write_private_xlsx(workbook, {folder_of(path)});
    } catch (const spreadsheet::AutomationError& failure) {
        throw OutputError("cannot write " + path + ": " + failure.what());
    }
    move_into_place(temporary, path);
}

void write_standard_output(std::string_view content) {
    if (!write_all(STDOUT_FILENO, content))
        throw OutputError(std::string("cannot write the standard output: ") + std::strerror(errno));
}

}  // namespace permscope::report

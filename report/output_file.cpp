#include "report/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "export/desktop_spreadsheet.h"

namespace permscope::report {

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

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

// A new file of mode 0600 in the folder of path; its descriptor, and its name in temporary.
int create_beside(const std::string& path, std::string& temporary) {
    std::string name = folder_of(path) + "/.permscope-report-XXXXXX";
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back('\0');
    const int fd = ::mkstemp(pattern.data());  // mode 0600
    if (fd < 0)
        fail(path, errno);
    temporary = pattern.data();
    return fd;
}

constexpr std::size_t kBlockSize = 1 << 16;

}  // namespace

void move_into_place(const std::string& temporary, const std::string& path) {
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(path, error);
    }
}

std::string reserve_output_beside(const std::string& path) {
    std::string temporary;
    ::close(create_beside(path, temporary));
    return temporary;
}

void write_output_file(const std::string& path, std::string_view content) {
    OutputStream output(path);
    output.write(content);
    output.finish();
}

OutputStream::OutputStream(std::string path) : path_(std::move(path)) {
    fd_ = path_.empty() ? STDOUT_FILENO : create_beside(path_, temporary_);
}

OutputStream::~OutputStream() {
    if (temporary_.empty())
        return;
    ::close(fd_);
    ::unlink(temporary_.c_str());
}

void OutputStream::write(std::string_view text) {
    pending_ += text;
    if (pending_.size() >= kBlockSize)
        flush();
}

void OutputStream::flush() {
    if (!write_all(fd_, pending_)) {
        if (path_.empty())
            throw OutputError(std::string("cannot write the standard output: ") +
                              std::strerror(errno));
        fail(path_, errno);
    }
    pending_.clear();
}

void OutputStream::finish() {
    flush();
    if (temporary_.empty())
        return;
    const std::string temporary = std::move(temporary_);
    temporary_.clear();
    if (::close(fd_) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(path_, error);
    }
    move_into_place(temporary, path_);
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

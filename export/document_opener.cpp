#include "export/document_opener.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "common/name_list.h"

namespace permscope::spreadsheet {

namespace {

bool is_executable_file(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// Moves a descriptor above the standard ones, so that redirecting those cannot hit it.
int above_standard(int fd) {
    if (fd > 2)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

// Runs in the grandchild, between fork and exec: only async-signal-safe calls.
[[noreturn]] void exec_in_new_session(const char* path, char* const argv[], int null_input,
                                      int report) {
    setsid();
    dup2(null_input, STDIN_FILENO);
    // Everything but the standard descriptors and the close-on-exec report pipe is shut.
    if (report > 3)
        close_range(3, static_cast<unsigned>(report) - 1, 0);
    close_range(static_cast<unsigned>(report) + 1, ~0U, 0);
    execv(path, argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = write(report, &error, sizeof error);
    _exit(127);
}

}  // namespace

std::string find_program(const std::string& name, const std::string& search_path) {
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    for (std::string_view folder : split_pieces(search_path, ':')) {
        if (folder.empty())
            continue;
        std::string candidate = std::string(folder) + "/" + name;
        if (is_executable_file(candidate))
            return candidate;
    }
    return {};
}

bool start_detached(const std::string& path, const std::vector<std::string>& arguments) {
    // Everything the children need is prepared before forking.
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const int null_input = above_standard(open("/dev/null", O_RDONLY | O_CLOEXEC));
    int pipe_ends[2];
    if (null_input < 0 || pipe2(pipe_ends, O_CLOEXEC) != 0) {
        if (null_input >= 0)
            close(null_input);
        return false;
    }
    const int report_read = above_standard(pipe_ends[0]);
    const int report_write = above_standard(pipe_ends[1]);

    // The middle child only forks and ends, so the program is adopted by the system at once and
    // never lingers as a zombie of ours.
    const pid_t middle = fork();
    if (middle == 0) {
        // _Fork: unlike fork it runs no handlers that other threads' locks could block.
        const pid_t program = _Fork();
        if (program == 0)
            exec_in_new_session(path.c_str(), argv.data(), null_input, report_write);
        if (program < 0) {
            const int error = errno;
            [[maybe_unused]] const ssize_t written = write(report_write, &error, sizeof error);
        }
        _exit(0);
    }
    close(report_write);
    close(null_input);
    bool started = false;
    if (middle > 0) {
        int status = 0;
        while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
        }
        // The pipe closes without a word when exec succeeded; a failure sends its errno.
        int error = 0;
        ssize_t got;
        while ((got = read(report_read, &error, sizeof error)) < 0 && errno == EINTR) {
        }
        started = got == 0;
    }
    close(report_read);
    return started;
}

bool open_as_untitled_spreadsheet(const std::string& file, const std::string& search_path) {
    const std::string soffice = find_program("soffice", search_path);
    if (!soffice.empty() && start_detached(soffice, {"soffice", "--calc", "-n", file}))
        return true;
    const std::string xdg_open = find_program("xdg-open", search_path);
    return !xdg_open.empty() && start_detached(xdg_open, {"xdg-open", file});
}

}  // namespace permscope::spreadsheet

#include "platform/forked_call.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace permscope::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Reads what the child writes until it closes its end or the deadline passes. True when it
// closed it.
bool read_until_closed(int fd, Clock::time_point deadline, std::string& output) {
    char buffer[16384];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        output.append(buffer, static_cast<std::size_t>(got));
    }
}

void reap(pid_t child, bool kill_first) {
    if (kill_first)
        ::kill(child, SIGKILL);
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool write_all(int fd, const std::string& data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

ForkedCallResult call_in_child_process(const std::function<void(int fd)>& work,
                                       std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipe_ends[0]);
        ::close(pipe_ends[1]);
        throw std::system_error(error, std::generic_category(), "fork");
    }
    if (child == 0) {
        // Only the standard descriptors and this read's pipe stay open: a pipe of a read that
        // another thread runs side by side must not be held open by this child, or that read
        // would wait for this child's end.
        const unsigned own = static_cast<unsigned>(pipe_ends[1]);
        if (own > 3)
            ::close_range(3, own - 1, 0);
        ::close_range(own + 1, ~0U, 0);
        try {
            work(pipe_ends[1]);
        } catch (...) {
        }
        ::_exit(0);
    }
    ::close(pipe_ends[1]);
    ForkedCallResult result;
    result.finished = read_until_closed(pipe_ends[0], until, result.output);
    ::close(pipe_ends[0]);
    reap(child, !result.finished);
    return result;
}

}  // namespace permscope::platform

#pragma once
// A measurement made in a forked child, so that its peak memory and CPU time are its own and not
// those of the measurements before it; the result comes back over a pipe.

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

namespace permscope::bench {

// Runs work in a child; finish adds, in the child, what its resource usage says to the result.
// Nothing when the child fails, or gives no result within limit_seconds (0: no limit), in which
// case it is killed.
template <typename Result>
std::optional<Result> measure_in_child(const std::function<Result()>& work,
                                       const std::function<void(Result&, const rusage&)>& finish,
                                       double limit_seconds = 0) {
    static_assert(std::is_trivially_copyable_v<Result>, "the result crosses a pipe as bytes");
    int channel[2];
    if (pipe(channel) != 0)
        return std::nullopt;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        Result result{};
        try {
            result = work();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "measurement failed: %s\n", error.what());
            _exit(1);
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        finish(result, usage);
        const ssize_t written = write(channel[1], &result, sizeof result);
        _exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
    }
    close(channel[1]);
    Result result{};
    pollfd readable{channel[0], POLLIN, 0};
    const int timeout = limit_seconds > 0 ? static_cast<int>(limit_seconds * 1000) : -1;
    const bool got =
        pid > 0 && poll(&readable, 1, timeout) > 0 &&
        read(channel[0], &result, sizeof result) == static_cast<ssize_t>(sizeof result);
    close(channel[0]);
    if (pid > 0) {
        if (!got)
            kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return got ? std::optional(result) : std::nullopt;
}

}  // namespace permscope::bench

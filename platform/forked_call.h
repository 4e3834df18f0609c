#pragma once
// Runs a piece of work in a child process of its own, for a library whose waits cannot be bounded
// as a whole from outside (libsmbclient: every connection has its own time-outs, and freeing its
// context waits on the server again). The parent waits until the deadline at most; then the child
// is killed, which ends every wait and frees everything at once.

#include <chrono>
#include <functional>
#include <string>

namespace permscope::platform {

struct ForkedCallResult {
    std::string output;     // everything the work wrote before it ended or was killed
    bool finished = false;  // false when the deadline passed first (or the child died)
};

// Calls work(fd) in a forked child, fd being the write end of a pipe to the parent; the child ends
// when work returns, without running exit handlers. The work must not touch what the parent's
// other threads hold (windows, locks): it runs in a copy of the process with only this thread.
// Throws std::system_error when no pipe or process can be had.
ForkedCallResult call_in_child_process(const std::function<void(int fd)>& work,
                                       std::chrono::milliseconds deadline);

// Writes all of data to fd; false when the pipe is gone.
bool write_all(int fd, const std::string& data);

}  // namespace permscope::platform

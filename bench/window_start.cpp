#include "window_start.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QTreeView>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/form1.h"
#include "platform/domain_discovery.h"

namespace permscope::bench {

namespace {

constexpr int kReportDescriptor = 3;

// Tells the waiting side, once, that the model shows rows rows, and ends the process there: what
// start-up does after the list is full is not part of the wait.
void report_when_full(const QAbstractItemModel& model, long long rows) {
    if (model.rowCount() < rows)
        return;
    const char done = 1;
    _exit(write(kReportDescriptor, &done, 1) == 1 ? 0 : 1);
}

}  // namespace

int window_start_main(int argc, char* argv[]) {
    if (argc < 3)
        return 2;
    const long long rows = std::atoll(argv[2]);
    // What the program's main does before the window exists.
    permscope::platform::limit_library_configuration();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Permscope"));
    app::Form1 form(app::make_linux_services());
    // The users list as assistive technology finds it: by its object name.
    const auto* list = form.findChild<QTreeView*>(QStringLiteral("LvUser"));
    if (!list || !list->model())
        return 3;
    const QAbstractItemModel& model = *list->model();
    QObject::connect(&model, &QAbstractItemModel::modelReset,
                     [&] { report_when_full(model, rows); });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&] { report_when_full(model, rows); });
    form.Load();
    return 4;  // start-up ended without the rows
}

std::optional<WindowStart> time_window_start(const std::string& uri, const std::string& base,
                                             const std::string& folder, long long user_rows,
                                             double limit) {
    // Qt wants a private runtime folder; the start-up is the same without one, but warns.
    std::string runtime = "/tmp/permscope-bench-runtime-XXXXXX";
    if (!mkdtemp(runtime.data()))
        runtime.clear();
    const auto remove_runtime = [&] {
        if (!runtime.empty())
            std::filesystem::remove_all(runtime);
    };
    int channel[2];
    if (pipe(channel) != 0) {
        remove_runtime();
        return std::nullopt;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        remove_runtime();
        return std::nullopt;
    }
    if (pid == 0) {
        dup2(channel[1], kReportDescriptor);
        if (chdir(folder.c_str()) != 0)
            _exit(5);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("LDAPURI", uri.c_str(), 1);
        setenv("LDAPBASE", base.c_str(), 1);
        setenv("KRB5_CONFIG", "/dev/null", 1);
        if (!runtime.empty())
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        unsetenv("LDAPNOINIT");
        const std::string rows = std::to_string(user_rows);
        char* child_argv[] = {const_cast<char*>("permscope"),
                              const_cast<char*>(kWindowStartArgument),
                              const_cast<char*>(rows.c_str()), nullptr};
        execv("/proc/self/exe", child_argv);
        _exit(6);
    }
    close(channel[1]);
    pollfd report{channel[0], POLLIN, 0};
    char done = 0;
    const bool shown =
        poll(&report, 1, static_cast<int>(limit * 1000)) > 0 && read(channel[0], &done, 1) == 1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(channel[0]);
    if (!shown)
        kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    remove_runtime();
    if (!shown)
        return std::nullopt;
    return WindowStart{seconds, usage.ru_maxrss};
}

}  // namespace permscope::bench

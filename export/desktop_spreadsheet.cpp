#include "export/desktop_spreadsheet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/text.h"
#include "export/excel_export.h"
#include "export/workbook.h"

namespace permscope::spreadsheet {

WorkbookApplication::WorkbookApplication(ShowWorkbook show) : show_(std::move(show)) {}

Workbook& WorkbookApplication::active_workbook() {
    if (workbooks_.empty())
        throw AutomationError("no workbook is open");
    return workbooks_.back();
}

void WorkbookApplication::Workbooks_Add() {
    workbooks_.emplace_back();
    shown_.push_back(false);
}

void WorkbookApplication::Sheets_Select(const std::string& sheet) {
    active_workbook().select(sheet);
}

void WorkbookApplication::Sheets_SetName(const std::string& sheet, const std::string& new_name) {
    active_workbook().rename(sheet, new_name);
}

void WorkbookApplication::Range_Set(const std::string& address, const std::string& value) {
    active_workbook().set_cell(address, value);
}

void WorkbookApplication::set_Visible(bool visible) {
    if (!visible)
        return;
    for (std::size_t i = 0; i < workbooks_.size(); ++i) {
        if (shown_[i])
            continue;
        show_(workbooks_[i]);
        shown_[i] = true;
    }
}

namespace {

// Only an absolute folder counts: a relative one would depend on the current folder.
bool is_absolute_folder(const char* path) {
    struct stat info {};
    return path && path[0] == '/' && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Reserves a new, empty file of mode 0600 and returns its path.
std::string reserve_private_file(const std::string& folder) {
    std::string name = folder + "/Permscope-XXXXXX.xlsx";
    std::vector<char> pattern(name.begin(), name.end());
    pattern.push_back('\0');
    const int fd = mkstemps(pattern.data(), 5);  // mkstemps creates the file with mode 0600
    if (fd < 0)
        throw AutomationError("cannot create a file in " + folder + ": " + std::strerror(errno));
    close(fd);
    return std::string(pattern.data());
}

// Owns the libxlsxwriter workbook until it is closed; closing is what writes the file.
class XlsxDocument {
  public:
    // libxlsxwriter's own temporary files go into the same folder: one folder that takes files
    // is all the export needs.
    XlsxDocument(const std::string& path, std::string folder)
        : path_(path), folder_(std::move(folder)), book_(open(path_, folder_)) {
        if (!book_)
            throw AutomationError("cannot start the workbook " + path);
    }
    ~XlsxDocument() {
        if (book_)
            workbook_close(book_);
    }
    XlsxDocument(const XlsxDocument&) = delete;
    XlsxDocument& operator=(const XlsxDocument&) = delete;

    void add(const Sheet& sheet) {
        const std::string name = well_formed_utf8(sheet.name);
        lxw_worksheet* page = workbook_add_worksheet(book_, name.c_str());
        if (!page)
            throw AutomationError("the sheet name \"" + name + "\" cannot be written");
        for (const auto& [ref, text] : sheet.cells) {
            const lxw_error error =
                worksheet_write_string(page, ref.row - 1, static_cast<lxw_col_t>(ref.column - 1),
                                       well_formed_utf8(text).c_str(), nullptr);
            if (error != LXW_NO_ERROR)
                throw AutomationError(std::string("a cell cannot be written: ") +
                                      lxw_strerror(error));
        }
    }

    void close() {
        const lxw_error error = workbook_close(book_);
        book_ = nullptr;
        if (error != LXW_NO_ERROR)
            throw AutomationError("cannot write " + path_ + ": " + lxw_strerror(error));
    }

  private:
    static lxw_workbook* open(const std::string& path, std::string& folder) {
        lxw_workbook_options options{};
        options.tmpdir = folder.data();
        return workbook_new_opt(path.c_str(), &options);
    }

    std::string path_;
    std::string folder_;
    lxw_workbook* book_;
};

// One try: the file in folder, removed again when it cannot be written whole.
std::string write_private_xlsx_in(const Workbook& workbook, const std::string& folder) {
    const std::string path = reserve_private_file(folder);
    try {
        XlsxDocument document(path, folder);
        for (const Sheet& sheet : workbook.sheets())
            document.add(sheet);
        document.close();
    } catch (...) {
        unlink(path.c_str());
        throw;
    }
    return path;
}

}  // namespace

std::vector<std::string> private_output_folders() {
    std::vector<std::string> folders;
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* folder = std::getenv(variable);
        if (is_absolute_folder(folder))
            folders.emplace_back(folder);
    }
    folders.emplace_back("/tmp");
    return folders;
}

std::string write_private_xlsx(const Workbook& workbook, const std::vector<std::string>& folders) {
    std::string failures;
    for (const std::string& folder : folders) {
        try {
            return write_private_xlsx_in(workbook, folder);
        } catch (const AutomationError& failure) {
            failures += (failures.empty() ? "" : "; ") + std::string(failure.what());
        }
    }
    throw ExportNotWritten("The export could not be written: " +
                           (failures.empty() ? std::string("no folder to write to") : failures) +
                           ".");
}

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

// The desktop backend of make_desktop_spreadsheet_factory: "Excel.Application" is a workbook
// application whose Visible = True writes each workbook to a private .xlsx file and opens it in
// the desktop's spreadsheet program.

namespace {

// Opens file as a new untitled spreadsheet: "soffice --calc -n FILE" where LibreOffice's
// soffice is on search_path, else "xdg-open FILE". Returns false when neither starts.
bool open_as_untitled_spreadsheet(const std::string& file, const std::string& search_path) {
    const std::string soffice = find_program("soffice", search_path);
    if (!soffice.empty() && start_detached(soffice, {"soffice", "--calc", "-n", file}))
        return true;
    const std::string xdg_open = find_program("xdg-open", search_path);
    return !xdg_open.empty() && start_detached(xdg_open, {"xdg-open", file});
}

void write_and_open(const Workbook& workbook,
                    const std::optional<std::vector<std::string>>& folders) {
    const std::string file =
        write_private_xlsx(workbook, folders ? *folders : private_output_folders());
    const char* search_path = std::getenv("PATH");
    // The file stays where it is when nothing can open it; it is the user's result.
    if (!open_as_untitled_spreadsheet(file, search_path ? search_path : ""))
        throw AutomationError("no spreadsheet program could open " + file);
}

class DesktopSpreadsheetFactory : public ApplicationFactory {
  public:
    explicit DesktopSpreadsheetFactory(std::optional<std::vector<std::string>> folders)
        : folders_(std::move(folders)) {}

    std::unique_ptr<Application> CreateObject(const std::string& prog_id) override {
        if (prog_id != "Excel.Application")
            throw AutomationError("no application \"" + prog_id + "\"");
        return std::make_unique<WorkbookApplication>(
            [folders = folders_](const Workbook& workbook) { write_and_open(workbook, folders); });
    }

  private:
    std::optional<std::vector<std::string>> folders_;
};

}  // namespace

std::unique_ptr<ApplicationFactory> make_desktop_spreadsheet_factory(
    std::optional<std::vector<std::string>> folders) {
    return std::make_unique<DesktopSpreadsheetFactory>(std::move(folders));
}

}  // namespace permscope::spreadsheet

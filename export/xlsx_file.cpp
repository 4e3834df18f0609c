#include "export/xlsx_file.h"

#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "export/utf8_text.h"

namespace permscope::spreadsheet {

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

}  // namespace permscope::spreadsheet

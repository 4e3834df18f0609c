// The walk as a workbook: sheet "Ordner" lists every folder, then the users of every folder
// reported in full. The folders come first, so the users' rows wait in a file of their own until
// the walk ends; the workbook is then written row by row.

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include "export/application.h"
#include "report/output_file.h"
#include "report/tree_writer.h"

namespace permscope::report {

namespace {

constexpr std::size_t kFields = 4;  // Folder, Name, Group, Rights
using SpooledRow = std::array<std::string_view, kFields>;

// Rows of texts kept in an unnamed file until they are read back, in order.
class RowSpool {
  public:
    explicit RowSpool(const std::string& beside) {
        const std::string temporary = reserve_output_beside(beside);
        file_ = std::fopen(temporary.c_str(), "w+b");
        const int error = errno;
        ::unlink(temporary.c_str());
        if (!file_)
            fail(error);
    }
    ~RowSpool() { std::fclose(file_); }
    RowSpool(const RowSpool&) = delete;
    RowSpool& operator=(const RowSpool&) = delete;

    void add(const SpooledRow& row) {
        for (const std::string_view field : row) {
            const auto size = static_cast<std::uint32_t>(field.size());
            if (std::fwrite(&size, sizeof size, 1, file_) != 1 ||
                std::fwrite(field.data(), 1, size, file_) != size)
                fail(errno);
        }
    }
    void read_back(const std::function<void(const SpooledRow&)>& each) {
        if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)
            fail(errno);
        std::array<std::string, kFields> fields;
        std::uint32_t size = 0;
        while (std::fread(&size, sizeof size, 1, file_) == 1) {
            for (std::size_t i = 0; i < kFields; ++i) {
                if (i > 0 && std::fread(&size, sizeof size, 1, file_) != 1)
                    fail(EIO);
                fields[i].resize(size);
                if (std::fread(fields[i].data(), 1, size, file_) != size)
                    fail(EIO);
            }
            each({fields[0], fields[1], fields[2], fields[3]});
        }
        if (std::ferror(file_))
            fail(errno);
    }

  private:
    [[noreturn]] static void fail(int error) {
        throw OutputError(std::string("cannot keep the rows of the report: ") +
                          std::strerror(error));
    }
    std::FILE* file_ = nullptr;
};

// One line of the folders' part.
struct FolderLine {
    std::string folder;
    std::string state;  // empty: reported in full, with users users
    std::int64_t users = 0;
    std::string problem;
};

FolderLine line_of(const WalkedFolder& folder) {
    FolderLine line{folder.report.folder, {}, 0, {}};
    switch (folder.state) {
        case WalkedFolder::State::Full:
            line.users = folder.report.users().count();
            line.problem = folder.report.problem;
            break;
        case WalkedFolder::State::SameAsParent:
            line.state = "wie übergeordneter Ordner";
            break;
        case WalkedFolder::State::Unreadable:
            line.state = "nicht lesbar";
            line.problem = folder.cause;
            break;
    }
    if (!folder.listing_problem.empty())
        line.problem += (line.problem.empty() ? "" : "\n") + folder.listing_problem;
    return line;
}

class TreeWorkbookWriter : public TreeWriter {
  public:
    explicit TreeWorkbookWriter(const std::string& output)
        : output_(output), temporary_(reserve_output_beside(output)), users_(output) {}
    ~TreeWorkbookWriter() override {
        if (!temporary_.empty())
            ::unlink(temporary_.c_str());
    }

    void folder(const WalkedFolder& folder) override {
        folders_.push_back(line_of(folder));
        if (folder.state != WalkedFolder::State::Full)
            return;
        for (const ResultList::Row& row : folder.report.users().rows())
            users_.add({folder.report.folder, column_text(row, 0), column_text(row, 1),
                        column_text(row, 2)});
    }

    void finish(bool) override {
        try {
            spreadsheet::StreamedWorkbook book(temporary_, folder_of(output_));
            write_sheets(book);
            book.close();
        } catch (const spreadsheet::AutomationError& failure) {
            throw OutputError("cannot write " + output_ + ": " + failure.what());
        }
        move_into_place(temporary_, output_);
        temporary_.clear();
    }

  private:
    void write_sheets(spreadsheet::RowSink& book) {
        OrdnerSheets sheets(book);
        sheets.begin_part({"Folder", "Users", "Problem"});
        for (const FolderLine& line : folders_) {
            spreadsheet::CellValue users = line.users;
            if (!line.state.empty())
                users = std::string_view(line.state);
            sheets.add_row({line.folder, users, line.problem});
        }
        std::vector<std::string> header{"Folder"};
        header.insert(header.end(), kUserListColumns.begin(), kUserListColumns.end());
        sheets.begin_part(header);
        users_.read_back([&](const SpooledRow& row) {
            sheets.add_row({row[0], row[1], row[2], row[3]});
        });
    }

    std::string output_;
    std::string temporary_;
    std::vector<FolderLine> folders_;
    RowSpool users_;
};

}  // namespace

std::unique_ptr<TreeWriter> make_tree_workbook_writer(const std::string& output) {
    return std::make_unique<TreeWorkbookWriter>(output);
}

OrdnerSheets::OrdnerSheets(spreadsheet::RowSink& sink, std::uint32_t max_rows)
    : sink_(sink), max_rows_(std::max(max_rows, 2u)) {}

void OrdnerSheets::next_sheet() {
    ++sheets_;
    sink_.add_sheet(sheets_ == 1 ? "Ordner" : "Ordner " + std::to_string(sheets_));
    rows_ = 0;
}

void OrdnerSheets::put(const std::vector<spreadsheet::CellValue>& cells) {
    sink_.add_row(cells);
    ++rows_;
}

void OrdnerSheets::begin_part(const std::vector<std::string>& header) {
    header_ = header;
    // An empty row and the header go where a row of the part can follow them.
    if (sheets_ == 0 || rows_ + 3 > max_rows_)
        next_sheet();
    else if (rows_ > 0)
        put({});
    add_header();
}

void OrdnerSheets::add_row(const std::vector<spreadsheet::CellValue>& cells) {
    if (rows_ >= max_rows_) {
        next_sheet();
        add_header();
    }
    put(cells);
}

void OrdnerSheets::add_header() {
    put(std::vector<spreadsheet::CellValue>(header_.begin(), header_.end()));
}

}  // namespace permscope::report

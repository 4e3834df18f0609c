#include "report/tree_writer.h"

#include "report/csv_format.h"
#include "report/json_format.h"
#include "report/output_file.h"

namespace permscope::report {

namespace {

constexpr const char* kFolderIndent = "        ";

QJsonObject folder_object(const WalkedFolder& folder) {
    QJsonObject object;
    switch (folder.state) {
        case WalkedFolder::State::Full:
            object = folder_json(folder.report,
                                 head_groups(exported_workbook(folder.report).sheets().front()));
            break;
        case WalkedFolder::State::SameAsParent:
            object = QJsonObject{{"folder", mended_text(folder.report.folder)},
                                 {"same_as_parent", true}};
            break;
        case WalkedFolder::State::Unreadable:
            object = QJsonObject{{"folder", mended_text(folder.report.folder)},
                                 {"unreadable", mended_text(folder.cause)}};
            break;
    }
    if (!folder.listing_problem.empty())
        object.insert("sub_folders_unreadable", mended_text(folder.listing_problem));
    return object;
}

// The document's frame is written around the folders as they come; every value in it is
// written by Qt's JSON writer. Each folder takes one line: a walk's report is large, and a line a
// folder keeps it small and easy to search.
class TreeJsonWriter : public TreeWriter {
  public:
    TreeJsonWriter(const std::string& output, const std::string& root, int depth) : out_(output) {
        out_.write("{\n    \"root\": " + json_string(root) +
                   ",\n    \"depth\": " + std::to_string(depth) + ",\n    \"folders\": [");
    }
    void folder(const WalkedFolder& folder) override {
        out_.write(first_ ? "\n" : ",\n");
        first_ = false;
        out_.write(kFolderIndent + json_line(folder_object(folder)));
    }
    void finish(bool complete) override {
        out_.write(std::string(first_ ? "]" : "\n    ]") +
                   ",\n    \"complete\": " + (complete ? "true" : "false") + "\n}\n");
        out_.finish();
    }

  private:
    OutputStream out_;
    bool first_ = true;
};

class TreeCsvWriter : public TreeWriter {
  public:
    explicit TreeCsvWriter(const std::string& output) : out_(output) { out_.write(csv_header()); }
    void folder(const WalkedFolder& folder) override {
        if (folder.state == WalkedFolder::State::Full)
            out_.write(folder_csv_lines(folder.report));
    }
    void finish(bool) override { out_.finish(); }

  private:
    OutputStream out_;
};

}  // namespace

std::unique_ptr<TreeWriter> make_tree_writer(Format format, const std::string& output,
                                             const std::string& root, int depth) {
    switch (format) {
        case Format::Json:
            return std::make_unique<TreeJsonWriter>(output, root, depth);
        case Format::Xlsx:
            return make_tree_workbook_writer(output);
        case Format::Csv:
            break;
    }
    return std::make_unique<TreeCsvWriter>(output);
}

}  // namespace permscope::report

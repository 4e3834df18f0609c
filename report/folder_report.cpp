#include "report/folder_report.h"

#include <memory>

#include "export/desktop_spreadsheet.h"
#include "export/excel_export.h"

namespace permscope::report {

namespace {

// Without a window there is no pointer to set and no event to let through.
class NoWindow : public rights::ReadHooks {
  public:
    void read_starting() override {}
};

// "Excel.Application" over an in-memory workbook that is kept, not opened, when shown.
class KeptWorkbookFactory : public spreadsheet::ApplicationFactory {
  public:
    explicit KeptWorkbookFactory(spreadsheet::Workbook& kept) : kept_(kept) {}

    std::unique_ptr<spreadsheet::Application> CreateObject(const std::string& prog_id) override {
        if (prog_id != "Excel.Application")
            throw spreadsheet::AutomationError("no application \"" + prog_id + "\"");
        return std::make_unique<spreadsheet::WorkbookApplication>(
            [this](const spreadsheet::Workbook& shown) { kept_ = shown; });
    }

  private:
    spreadsheet::Workbook& kept_;
};

constexpr std::uint32_t kGroupColumn = 1;   // A
constexpr std::uint32_t kNameColumn = 2;    // B
constexpr std::uint32_t kRightsColumn = 3;  // C

}  // namespace

void read_folder(rights::FolderReader& reader, FolderReport& report,
                 std::shared_ptr<rights::FolderLists> lists) {
    NoWindow no_window;
    const rights::FolderReadResult result =
        reader.read(report.folder, lists->users, lists->groups, no_window);
    if (!result.outcome.access_list_read)
        throw FolderUnreadable(result.outcome.cause);
    report.problem = result.problem();
    report.lists = std::move(lists);
}

spreadsheet::Workbook exported_workbook(const FolderReport& report) {
    spreadsheet::Workbook kept;
    KeptWorkbookFactory factory(kept);
    spreadsheet::Excel_export(report.groups(), report.users(), true, factory);
    return kept;
}

std::vector<HeadGroup> head_groups(const spreadsheet::Sheet& rechte) {
    std::vector<HeadGroup> groups;
    std::uint32_t member_row = 0;  // the sheet row of the last member
    for (const auto& [cell, text] : rechte.cells) {
        if (cell.column == kGroupColumn) {
            groups.push_back(HeadGroup{text, {}});
            continue;
        }
        if (groups.empty() || (cell.column != kNameColumn && cell.column != kRightsColumn))
            continue;
        auto& members = groups.back().members;
        if (members.empty() || member_row != cell.row) {
            members.emplace_back();
            member_row = cell.row;
        }
        (cell.column == kNameColumn ? members.back().name : members.back().rights) = text;
    }
    return groups;
}

}  // namespace permscope::report

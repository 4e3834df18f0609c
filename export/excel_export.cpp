#include "export/excel_export.h"

#include <cstdint>
#include <exception>
#include <string_view>

#include "common/name_list.h"
#include "export/list_cells.h"
#include "export/member_test.h"
#include "export/nested_search.h"

namespace permscope::spreadsheet {

bool SubGroupFound = false;

namespace {

constexpr std::string_view kHeadMarker = "is Head";

// The application as the export drives it: every call that fails is skipped, and once the
// application could not be created every call fails.
class SkippingCalls {
  public:
    explicit SkippingCalls(ApplicationFactory& factory) {
        try {
            application_ = factory.CreateObject("Excel.Application");
        } catch (const std::exception&) {
        }
    }
    // Releasing the application; a workbook it has shown stays with the user.
    ~SkippingCalls() = default;

    template <typename Statement>
    void call(const Statement& statement) {
        if (!application_)
            return;
        try {
            statement(*application_);
        } catch (const ExportNotWritten& lost) {
            lost_ = lost.what();
        } catch (const std::exception&) {
        }
    }

    // Why the workbook never reached the user; empty when nothing says it did not.
    const std::string& lost() const { return lost_; }

  private:
    std::unique_ptr<Application> application_;
    std::string lost_;
};

// A group row is exported in a nested run when one piece of its HeadGroup text is the marker, or
// when the text has no pieces at all.
bool is_head_group(const ResultList& groups, ResultList::Position group) {
    const auto pieces = split_pieces(sub_item_or_empty(groups, group, kHeadGroupColumn));
    if (pieces.empty())
        return true;
    for (std::string_view piece : pieces)
        if (remove_leading_blanks(piece) == kHeadMarker)
            return true;
    return false;
}

std::string cell(char column, std::int64_t row) {
    return column + std::to_string(row);
}

void write_cell(SkippingCalls& excel, const std::string& address, const std::string& text) {
    excel.call([&](Application& app) { app.Range_Set(address, text); });
}

}  // namespace

std::string Excel_export(const ResultList& groups, const ResultList& users, bool blnNested,
                         ApplicationFactory& factory) {
    SkippingCalls excel(factory);
    excel.call([](Application& app) { app.Workbooks_Add(); });
    excel.call([](Application& app) { app.Sheets_Select("Tabelle1"); });
    excel.call([](Application& app) { app.Sheets_SetName("Tabelle1", "Rechte"); });

    MemberTest member_test(groups, users, blnNested);
    std::int64_t sheet_row = 0;  // the sheet row written last
    const ResultList::Position group_count = groups.count();
    for (ResultList::Position group = 1; group <= group_count; ++group) {
        if (blnNested && !is_head_group(groups, group))
            continue;
        sheet_row += 2;
        write_cell(excel, cell('A', sheet_row), groups.text(group));
        const MemberTest::Members members = member_test.members_of(group);
        for (ResultList::Position user : members.users) {
            ++sheet_row;
            write_cell(excel, cell('B', sheet_row), users.text(user));
            write_cell(excel, cell('C', sheet_row), sub_item_or_empty(users, user, kRightsColumn));
        }
        if (members.found_flag)
            SubGroupFound = *members.found_flag;
    }
    excel.call([](Application& app) { app.set_Visible(true); });
    return excel.lost();
}

bool SubGroup_check(const ResultList& groups, const std::string& name, ResultList::Position row) {
    if (NestedSearch(groups).reaches(name, row))
        SubGroupFound = true;
    return SubGroupFound;
}

}  // namespace permscope::spreadsheet

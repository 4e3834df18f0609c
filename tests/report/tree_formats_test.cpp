// A walk's pieces pinned exactly: the comparison of two reports, sheet Ordner spilling onto further
// sheets past its last row, and the paths of sub-folders.

#include <gtest/gtest.h>

#include "report/compare.h"
#include "report/tree_writer.h"

namespace permscope::report {
namespace {

// A walk's report: folders as "path" (same as parent), "path!cause" (unreadable), or
// "path=name:rights,name:rights" (in full).
std::string walk_json(const std::string& root, const std::vector<std::string>& folders) {
    std::string json = "{\"root\": \"" + root + "\", \"depth\": 3, \"folders\": [";
    for (const std::string& folder : folders) {
        const std::size_t mark = folder.find_first_of("=!");
        json +=
            (json.back() == '[' ? "" : ",") + ("{\"folder\": \"" + folder.substr(0, mark)) + "\"";
        if (mark == std::string::npos) {
            json += ", \"same_as_parent\": true}";
        } else if (folder[mark] == '!') {
            json += ", \"unreadable\": \"" + folder.substr(mark + 1) + "\"}";
        } else {
            json += ", \"users\": [";
            for (std::size_t start = mark + 1; start < folder.size();) {
                const std::size_t end = std::min(folder.find(',', start), folder.size());
                const std::string user = folder.substr(start, end - start);
                const std::size_t colon = user.find(':');
                json += (json.back() == '[' ? "" : ",") +
                        ("{\"name\": \"" + user.substr(0, colon)) +
                        "\", \"group\": \"g\", \"rights\": \"" + user.substr(colon + 1) + "\"}";
                start = end + 1;
            }
            json += "]}";
        }
    }
    return json + "], \"complete\": true}";
}

TEST(CompareReports, ChangesInFolderThenAccountOrderAndNoneWhereOnlyTheWayAListIsGivenChanged) {
    const std::string old_report = walk_json(
        "/srv/d", {"/srv/d=Ole:Lesen,Anna:Ändern", "/srv/d/b", "/srv/d/b/x", "/srv/d/c=Ole:Lesen",
                   "/srv/d/gone=Anna:Lesen", "/srv/d/z!Permission denied"});
    // b now names its list in full, x through b; c changes; a and new appear (out of order
    // here, as a report edited by hand might be); z can be read now; a tab in a name.
    const std::string new_report =
        walk_json("/srv/d", {"/srv/d=Ole:Lesen,Anna:Ändern,Bo:Lesen", "/srv/d/new",
                             "/srv/d/b=Ole:Lesen,Anna:Ändern", "/srv/d/b/x",
                             "/srv/d/c=Anna:Lesen,Ole:Lesen; Schreiben,Ute\\tX:Lesen",
                             "/srv/d/a=Ole:Lesen", "/srv/d/z=Ole:Lesen"});
    EXPECT_EQ(compare_reports(old_report, "old.json", new_report, "new.json").lines,
              "+\t/srv/d\tBo\tLesen\n"
              "+\t/srv/d/a\n"
              "+\t/srv/d/c\tAnna\tLesen\n"
              "~\t/srv/d/c\tOle\tLesen\tLesen; Schreiben\n"
              "+\t/srv/d/c\tUte\\tX\tLesen\n"
              "-\t/srv/d/gone\n"
              "+\t/srv/d/new\n"
              "!\t/srv/d/z\tPermission denied\t\n");
    EXPECT_EQ(compare_reports(old_report, "old.json", old_report, "old.json").lines, "");
    // A folder's own report compares with the same folder of a walk; one made while the directory
    // failed is noted.
    const Comparison one = compare_reports(
        R"({"folder": "/srv/d", "complete": false, "users": [{"name": "Ole", "rights": "Lesen"}]})",
        "one", walk_json("/srv/d", {"/srv/d=Ole:Lesen"}), "walk");
    EXPECT_EQ(one.lines, "");
    EXPECT_EQ(one.notes,
              "one was made while the directory failed (complete: false): its changes may not be "
              "real\n");
}

TEST(CompareReports, AReportThatIsNoneIsRefusedNamingTheFileAndWhatIsWrong) {
    const std::string good = walk_json("/srv", {"/srv=Ole:Lesen"});
    const std::pair<std::string, std::string> refused[] = {
        {"{\"folders\": [", "old.json: unterminated array at byte 13"},
        {"[1]", "old.json: no report: not a JSON object"},
        {"{\"folder\": \"/srv\"}", "old.json: no list \"users\" in the folder /srv"},
        {walk_json("/srv", {"/srv/a"}),
         "old.json: the folder /srv/a is the same as a parent "
         "the report lacks"},
        {"{\"rows\": []}", "old.json: no report: neither \"folders\" nor \"folder\""},
    };
    for (const auto& [json, message] : refused) {
        try {
            compare_reports(json, "old.json", good, "new.json");
            ADD_FAILURE() << json;
        } catch (const ReportUnreadable& failure) {
            EXPECT_EQ(failure.what(), message);
        }
    }
}

class RecordingSheets : public spreadsheet::RowSink {
  public:
    void add_sheet(const std::string& name) override { rows.push_back("sheet:" + name); }
    void add_row(const std::vector<spreadsheet::CellValue>& cells) override {
        std::string row;
        for (const spreadsheet::CellValue& cell : cells) {
            row += row.empty() ? "" : "|";
            if (const auto* number = std::get_if<std::int64_t>(&cell))
                row += "#" + std::to_string(*number);
            else
                row += std::get<std::string_view>(cell);
        }
        rows.push_back(row);
    }
    std::vector<std::string> rows;
};

TEST(OrdnerSheets, EachPartUnderItsHeaderAndPastTheLastRowOnANewSheetThatRepeatsIt) {
    RecordingSheets book;
    OrdnerSheets sheets(book, 5);
    sheets.begin_part({"Folder", "Users"});
    for (const std::int64_t users : {3, 1, 4, 1, 5})
        sheets.add_row({"/d" + std::to_string(users), users});
    sheets.begin_part({"Folder", "Name"});
    sheets.add_row({"/d3", "Ole"});
    sheets.add_row({"/d4", "Anna"});
    EXPECT_EQ(book.rows, (std::vector<std::string>{
                             "sheet:Ordner", "Folder|Users", "/d3|#3", "/d1|#1", "/d4|#4", "/d1|#1",
                             "sheet:Ordner 2", "Folder|Users", "/d5|#5", "", "Folder|Name",
                             "/d3|Ole", "sheet:Ordner 3", "Folder|Name", "/d4|Anna"}));
}

TEST(SubFolderPath, TheSeparatorOfTheFolderAndNoneTwice) {
    EXPECT_EQ(sub_folder_path("/srv/d", "a b"), "/srv/d/a b");
    EXPECT_EQ(sub_folder_path("/", "srv"), "/srv");
    EXPECT_EQ(sub_folder_path("\\\\fs\\daten", "x"), "\\\\fs\\daten\\x");
    EXPECT_EQ(sub_folder_path("\\\\fs\\daten\\", "x"), "\\\\fs\\daten\\x");
    EXPECT_EQ(sub_folder_path("//fs/daten", "x"), "//fs/daten/x");
}

}  // namespace
}  // namespace permscope::report

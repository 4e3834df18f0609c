// The report's CSV lines and their quoting, pinned exactly, and files written privately. The other
// formats are compared whole with the window in report_test.cpp.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "report/csv_format.h"
#include "report/output_file.h"
#include "tests/common/row_texts.h"
#include "tests/common/temp_folder.h"

namespace permscope::report {
namespace {

TEST(CsvFormat, FieldsAreQuotedOnlyWhereNeededLinesEndWithCrLfMissingColumnsAreEmpty) {
    EXPECT_EQ(csv_line({"plain", "with blank", ""}), "plain,with blank,\r\n");
    EXPECT_EQ(csv_line({"a,b", "say \"hi\"", "two\nlines", "cr\r"}),
              "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\"\r\n");
    // A byte that is no UTF-8, and a NUL, show as U+FFFD.
    EXPECT_EQ(csv_line({std::string("M\xFCller\0x", 8)}), "M\uFFFDller\uFFFDx\r\n");
    EXPECT_EQ(csv_header(), "Folder,Name,Group,Rights\r\n");
    FolderReport report;
    report.folder = "/srv/a,b";
    auto lists = std::make_shared<rights::FolderLists>();
    permscope::testing::fill(lists->users,
                             {"Karl Otto|adm|Ändern", "Lena Frank|staff|Ändern; Lesen", "Ole"});
    report.lists = lists;
    EXPECT_EQ(folder_csv_lines(report),
              "\"/srv/a,b\",Karl Otto,adm,Ändern\r\n\"/srv/a,b\",Lena Frank,staff,Ändern; Lesen\r\n"
              "\"/srv/a,b\",Ole,,\r\n");
}

TEST(OutputFile, ReplacesWhatWasThereWithAFileOfModeSixHundredAndRefusesAFolder) {
    const permscope::testing::TempFolder folder;
    const std::string path = folder.write("report.csv", "old");
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    write_output_file(path, "new\r\n");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_size, 5);
    EXPECT_THROW(write_output_file(folder.path(), "x"), OutputError);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
}  // namespace permscope::report

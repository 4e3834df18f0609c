// The desktop backend for real: the export writes an .xlsx that is read back with openpyxl, and
// the file is handed to a spreadsheet program found on PATH. The programs here are small
// recording scripts in a private folder, so no office suite is needed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "export/desktop_spreadsheet.h"
#include "export/excel_export.h"
#include "export_lists.h"

namespace permscope::spreadsheet {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using testing::add_group;
using testing::add_user;

std::string read_text(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Lines lines_of(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Waits up to ten seconds for something a detached program does; false when it never happens.
template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// Every sheet as "SHEET\tname", every filled cell as "coordinate=value", read by openpyxl.
Lines read_xlsx(const std::string& file) {
    static const char* const kScript = R"(
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
for sheet in book.worksheets:
    print('SHEET\t' + sheet.title)
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is not None:
                print(cell.coordinate + '=' + str(cell.value))
)";
    const std::string command =
        "PYTHONIOENCODING=utf-8 /usr/bin/python3 -c \"$SCRIPT\" '" + file + "' 2>&1";
    setenv("SCRIPT", kScript, 1);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {"popen failed"};
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe);
    Lines lines = lines_of(output);
    if (status != 0)
        lines.push_back("python3 failed with status " + std::to_string(status));
    return lines;
}

class DesktopExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/permscope-export-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        runtime_ = root_ / "runtime";
        bin_ = root_ / "bin";
        log_ = root_ / "log";
        for (const auto& folder : {runtime_, bin_, log_})
            fs::create_directory(folder);
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        setenv("PATH", bin_.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(root_); }

    // A program on PATH that writes, into log/NAME.PID, its arguments (one a line), then its
    // session id, its pid and what its standard input is.
    void add_recording_program(const std::string& name,
                               const std::string& interpreter = "/bin/sh") {
        const fs::path program = bin_ / name;
        std::ofstream(program)
            << "#!" << interpreter << "\n"
            << "PATH=/usr/bin:/bin\nout=" << (log_ / name).string() << ".$$\n"
            << "{ printf '%s\\n' \"$@\"; echo \"session $(cut -d' ' -f6 "
               "/proc/$$/stat) pid $$\"; echo \"input $(readlink /proc/$$/fd/0)\"; "
               "} > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";
        fs::permissions(program, fs::perms::owner_all);
    }

    // The logs of the programs started so far, by file name.
    std::map<std::string, Lines> logs() const {
        std::map<std::string, Lines> found;
        for (const auto& entry : fs::directory_iterator(log_))
            if (entry.path().extension() != ".tmp")
                found[entry.path().filename()] = lines_of(read_text(entry.path()));
        return found;
    }
    std::map<std::string, Lines> wait_for_logs(std::size_t count) const {
        eventually([&] { return logs().size() >= count; });
        return logs();
    }

    std::vector<fs::path> written_files() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(runtime_))
            files.push_back(entry.path());
        return files;
    }

    void export_lists() {
        auto factory = make_desktop_spreadsheet_factory();
        Excel_export(groups_, users_, true, *factory);
    }

    ResultList groups_, users_;
    fs::path root_, runtime_, bin_, log_;
};

TEST_F(DesktopExportTest, WorkbookIsWrittenPrivatelyAndOpenedAsUntitledInCalc) {
    add_recording_program("soffice");
    add_recording_program("xdg-open");
    add_group(groups_, "Buchhaltung", "is Head", "Prüfer");
    add_group(groups_, "Prüfer", "Buchhaltung", "");
    add_group(groups_, "Vertrieb Süd", "X;is Head", "");
    add_user(users_, "Müller, Jürgen", "Prüfer", "Lesen, Ausführen");
    add_user(users_, "Anna Weiß", "Buchhaltung; Vertrieb Süd", "Ändern; Lesen");
    export_lists();

    const auto files = written_files();
    ASSERT_EQ(files.size(), 1u);
    const fs::path file = files[0];
    EXPECT_TRUE(file.filename().string().starts_with("Permscope-")) << file;
    EXPECT_EQ(file.extension(), ".xlsx");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_uid, getuid());

    const auto started = wait_for_logs(1);
    ASSERT_EQ(started.size(), 1u);
    const auto& [log_name, log] = *started.begin();
    ASSERT_TRUE(log_name.starts_with("soffice.")) << log_name;
    const std::string pid = log_name.substr(log_name.find('.') + 1);
    EXPECT_EQ(log, (Lines{"--calc", "-n", file.string(), "session " + pid + " pid " + pid,
                          "input /dev/null"}));

    EXPECT_EQ(read_xlsx(file), (Lines{"SHEET\tRechte", "A2=Buchhaltung", "B3=Müller, Jürgen",
                                      "C3=Lesen, Ausführen", "B4=Anna Weiß", "C4=Ändern; Lesen",
                                      "A6=Vertrieb Süd", "B7=Anna Weiß", "C7=Ändern; Lesen"}));
}

TEST_F(DesktopExportTest, EmptyGroupListGivesAnEmptySheetRechte) {
    add_recording_program("soffice");
    export_lists();
    ASSERT_EQ(written_files().size(), 1u);
    EXPECT_EQ(read_xlsx(written_files()[0]), (Lines{"SHEET\tRechte"}));
    EXPECT_EQ(wait_for_logs(1).size(), 1u);
}

TEST_F(DesktopExportTest, TwoRunsGiveTwoWorkbooks) {
    add_recording_program("soffice");
    add_group(groups_, "G1", "is Head");
    add_user(users_, "Anna", "G1", "Lesen");
    export_lists();
    export_lists();
    const auto files = written_files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_NE(files[0], files[1]);
    std::set<std::string> opened;
    for (const auto& [name, log] : wait_for_logs(2))
        opened.insert(log.at(2));
    EXPECT_EQ(opened, (std::set<std::string>{files[0].string(), files[1].string()}));
    for (const auto& file : files)
        EXPECT_EQ(read_xlsx(file), (Lines{"SHEET\tRechte", "A2=G1", "B3=Anna", "C3=Lesen"}));
}

TEST_F(DesktopExportTest, XdgOpenWhereLibreOfficeIsMissingOrCannotStart) {
    add_recording_program("xdg-open");
    export_lists();
    auto started = wait_for_logs(1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(started.begin()->first.starts_with("xdg-open.")) << started.begin()->first;
    EXPECT_EQ(started.begin()->second.at(0), written_files().at(0).string());

    add_recording_program("soffice", "/nonexistent/interpreter");
    std::ofstream(bin_ / "not-executable") << "#!/bin/sh\n";
    export_lists();
    started = wait_for_logs(2);
    ASSERT_EQ(started.size(), 2u);
    for (const auto& [name, log] : started)
        EXPECT_TRUE(name.starts_with("xdg-open.")) << name;
}

TEST_F(DesktopExportTest, NothingToOpenItLeavesTheFileAndShowsNothing) {
    std::ofstream(bin_ / "soffice") << "#!/bin/sh\ntouch " << (log_ / "ran").string() << "\n";
    fs::permissions(bin_ / "soffice", fs::perms::owner_read | fs::perms::owner_write);
    add_group(groups_, "G1", "is Head");
    EXPECT_NO_THROW(export_lists());
    ASSERT_EQ(written_files().size(), 1u);
    EXPECT_EQ(read_xlsx(written_files()[0]), (Lines{"SHEET\tRechte", "A2=G1"}));
    EXPECT_TRUE(logs().empty());

    // The application itself reports that it could not show the workbook.
    auto app = make_desktop_spreadsheet_factory()->CreateObject("Excel.Application");
    app->Workbooks_Add();
    EXPECT_THROW(app->set_Visible(true), AutomationError);
    EXPECT_EQ(written_files().size(), 2u);
}

TEST_F(DesktopExportTest, BadUtf8IsMendedNotFatal) {
    add_recording_program("soffice");
    add_group(groups_, "G\xFC", "is Head");
    add_user(users_, "M\xFCller", "G\xFC", "Lesen");
    export_lists();
    ASSERT_EQ(written_files().size(), 1u);
    EXPECT_EQ(read_xlsx(written_files()[0]),
              (Lines{"SHEET\tRechte", "A2=G\uFFFD", "B3=M\uFFFDller", "C3=Lesen"}));
}

TEST_F(DesktopExportTest, OutputFoldersFollowTheEnvironmentAndEndWithTmp) {
    setenv("TMPDIR", log_.c_str(), 1);
    EXPECT_EQ(private_output_folders(), (Lines{runtime_.string(), log_.string(), "/tmp"}));
    setenv("XDG_RUNTIME_DIR", "relative/folder", 1);
    setenv("TMPDIR", (root_ / "missing").c_str(), 1);
    EXPECT_EQ(private_output_folders(), Lines{"/tmp"});
}

TEST_F(DesktopExportTest, AFolderThatTakesNoFileIsPassedOverWithoutLeavingAFile) {
    Workbook book;
    const std::string written =
        write_private_xlsx(book, {(root_ / "missing").string(), runtime_.string()});
    EXPECT_EQ(fs::path(written).parent_path(), runtime_);
    EXPECT_EQ(written_files().size(), 1u);
    EXPECT_THROW(write_private_xlsx(book, {(root_ / "missing").string()}), ExportNotWritten);
    EXPECT_EQ(written_files().size(), 1u);
}

TEST_F(DesktopExportTest, FindProgramSearchesOnlyRealFolders) {
    add_recording_program("soffice");
    fs::create_directory(bin_ / "xdg-open");  // a folder is no program
    EXPECT_EQ(find_program("soffice", "/nonexistent::" + bin_.string()),
              (bin_ / "soffice").string());
    EXPECT_EQ(find_program("xdg-open", bin_.string()), "");
    EXPECT_EQ(find_program("soffice", ""), "");
    EXPECT_EQ(find_program("bin/soffice", root_.string()), "");
}

TEST_F(DesktopExportTest, DetachedProgramIsNeitherWaitedForNorOurChild) {
    const fs::path program = bin_ / "linger";
    const fs::path pid_file = log_ / "linger.pid";
    std::ofstream(program) << "#!/bin/sh\nPATH=/usr/bin:/bin\necho $$ > " << pid_file.string()
                           << ".tmp && mv " << pid_file.string() << ".tmp " << pid_file.string()
                           << "\nexec sleep 60\n";
    fs::permissions(program, fs::perms::owner_all);
    ASSERT_TRUE(start_detached(program.string(), {"linger"}));
    ASSERT_TRUE(eventually([&] { return fs::exists(pid_file); }));
    const pid_t pid = std::stoi(read_text(pid_file));
    EXPECT_EQ(kill(pid, 0), 0);  // still running after start_detached came back
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    kill(pid, SIGTERM);

    EXPECT_FALSE(start_detached((bin_ / "missing").string(), {"missing"}));
}

}  // namespace
}  // namespace permscope::spreadsheet

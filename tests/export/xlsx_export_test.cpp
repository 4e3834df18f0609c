// The desktop backend for real: the export writes an .xlsx that is read back with openpyxl, and
// the file is handed to a spreadsheet program found on PATH. The programs here are small
// recording scripts in a private folder, so no office suite is needed.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>

#include "export/desktop_spreadsheet.h"
#include "export/excel_export.h"
#include "tests/common/row_texts.h"
#include "tests/common/temp_folder.h"
#include "testbed/server_process.h"

namespace permscope::spreadsheet {
namespace {

namespace fs = std::filesystem;
using permscope::testing::read_file;
using Lines = std::vector<std::string>;

Lines lines_of(const std::string& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Every sheet as "SHEET\tname", every filled cell as "coordinate=value", as openpyxl reads them.
Lines read_xlsx(const fs::path& file) {
    setenv(
        "SCRIPT",
        "import sys, openpyxl\n"
        "for sheet in openpyxl.load_workbook(sys.argv[1]).worksheets:\n"
        "    print('SHEET\\t' + sheet.title)\n"
        "    for row in sheet.iter_rows():\n"
        "        for cell in row:\n"
        "            if cell.value is not None: print(cell.coordinate + '=' + str(cell.value))\n",
        1);
    const std::string command =
        "PYTHONIOENCODING=utf-8 /usr/bin/python3 -c \"$SCRIPT\" '" + file.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    if (!pipe || pclose(pipe) != 0)
        output += "python3 failed\n";
    return lines_of(output);
}

class DesktopExport : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"PATH", "XDG_RUNTIME_DIR", "TMPDIR"})
            if (const char* value = getenv(name))
                saved_[name] = value;
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        setenv("PATH", bin_.c_str(), 1);
    }
    void TearDown() override {
        for (const char* name : {"PATH", "XDG_RUNTIME_DIR", "TMPDIR"})
            saved_.count(name) ? setenv(name, saved_[name].c_str(), 1) : unsetenv(name);
    }

    // A program on PATH that writes, into log/NAME.PID, its arguments (one a line), then its
    // session id, its pid and what its standard input is.
    void add_recording_program(const std::string& name, const std::string& shell = "/bin/sh") {
        root_.write("bin/" + name, "#!" + shell + "\nPATH=/usr/bin:/bin\nout=" + log_ + "/" + name +
                                       ".$$\n{ printf '%s\\n' \"$@\"; echo \"session $(cut -d' ' "
                                       "-f6 /proc/$$/stat) pid $$\"; echo \"input $(readlink "
                                       "/proc/$$/fd/0)\"; } > \"$out.tmp\" && mv \"$out.tmp\" "
                                       "\"$out\"\n");
        fs::permissions(bin_ + "/" + name, fs::perms::owner_all);
    }
    // The logs of the programs started, by file name, once there are count of them (10 s at most).
    std::map<std::string, Lines> logs(std::size_t count) const {
        std::map<std::string, Lines> found;
        for (int i = 0; i < 500 && found.size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            found.clear();
            for (const auto& entry : fs::directory_iterator(log_))
                if (entry.path().extension() != ".tmp")
                    found[entry.path().filename()] = lines_of(read_file(entry.path()));
        }
        return found;
    }
    std::vector<fs::path> written_files() const {
        std::vector<fs::path> files{fs::directory_iterator(runtime_), fs::directory_iterator()};
        std::sort(files.begin(), files.end());
        return files;
    }
    void export_lists(const Lines& group_rows, const Lines& user_rows) {
        ResultList groups, users;
        permscope::testing::fill(groups, group_rows);
        permscope::testing::fill(users, user_rows);
        Excel_export(groups, users, true, *make_desktop_spreadsheet_factory());
    }

    std::map<std::string, std::string> saved_;
    permscope::testing::TempFolder root_;
    const std::string runtime_ = root_.make_folder("runtime"), bin_ = root_.make_folder("bin"),
                      log_ = root_.make_folder("log");
};

TEST_F(DesktopExport, TheWorkbookIsWrittenPrivatelyAndOpenedAsUntitledInCalc) {
    add_recording_program("soffice");
    add_recording_program("xdg-open");
    export_lists(
        {"Buchhaltung|is Head|Prüfer", "Prüfer|Buchhaltung|", "Vertrieb Süd|X;is Head|"},
        {"Müller, Jürgen|Prüfer|Lesen, Ausführen", "Anna Weiß|Buchhaltung; Vertrieb Süd|Ändern"});
    ASSERT_EQ(written_files().size(), 1u);
    const fs::path file = written_files()[0];
    EXPECT_TRUE(file.filename().string().starts_with("Permscope-")) << file;
    EXPECT_EQ(file.extension(), ".xlsx");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(read_xlsx(file),
              (Lines{"SHEET\tRechte", "A2=Buchhaltung", "B3=Müller, Jürgen", "C3=Lesen, Ausführen",
                     "B4=Anna Weiß", "C4=Ändern", "A6=Vertrieb Süd", "B7=Anna Weiß", "C7=Ändern"}));
    // soffice, started on its own: a session of its own, no input of ours.
    const auto started = logs(1);
    ASSERT_EQ(started.size(), 1u);
    const auto& [name, log] = *started.begin();
    ASSERT_TRUE(name.starts_with("soffice.")) << name;
    const std::string pid = name.substr(8);
    EXPECT_EQ(log, (Lines{"--calc", "-n", file.string(), "session " + pid + " pid " + pid,
                          "input /dev/null"}));
}

TEST_F(DesktopExport, EveryRunGivesAWorkbookOfItsOwnBadUtf8MendedAnEmptyListAnEmptySheet) {
    add_recording_program("soffice");
    export_lists({"G\xFC|is Head"}, {"M\xFCller|G\xFC|Lesen"});
    export_lists({}, {});
    const auto files = written_files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ((std::set<Lines>{read_xlsx(files[0]), read_xlsx(files[1])}),
              (std::set<Lines>{{"SHEET\tRechte"},
                               {"SHEET\tRechte", "A2=G\uFFFD", "B3=M\uFFFDller", "C3=Lesen"}}));
    std::set<std::string> opened;
    for (const auto& [name, log] : logs(2))
        opened.insert(log.at(2));
    EXPECT_EQ(opened, (std::set<std::string>{files[0].string(), files[1].string()}));
}

TEST_F(DesktopExport, XdgOpenWhereLibreOfficeIsMissingOrCannotStartAndNothingWhereNeitherIs) {
    add_recording_program("xdg-open");
    export_lists({}, {});
    add_recording_program("soffice", "/nonexistent/interpreter");
    export_lists({}, {});
    const auto started = logs(2);
    ASSERT_EQ(started.size(), 2u);
    for (const auto& [name, log] : started)
        EXPECT_TRUE(name.starts_with("xdg-open.") && log.at(0).starts_with(runtime_)) << name;
    fs::remove(bin_ + "/xdg-open");
    auto app = make_desktop_spreadsheet_factory()->CreateObject("Excel.Application");
    app->Workbooks_Add();
    EXPECT_THROW(app->set_Visible(true), AutomationError);
    EXPECT_EQ(written_files().size(), 3u);  // the file stays
    root_.write("bin/not-executable", "#!/bin/sh\n");
    EXPECT_EQ(find_program("not-executable", bin_), "");
    EXPECT_EQ(find_program("soffice", "/nonexistent::" + bin_), bin_ + "/soffice");
    EXPECT_EQ(find_program("bin/soffice", root_.path()), "");
}

TEST_F(DesktopExport, TheOutputFoldersFollowTheEnvironmentAndEndWithTmp) {
    using Folders = std::vector<std::string>;
    setenv("TMPDIR", log_.c_str(), 1);
    EXPECT_EQ(private_output_folders(), (Folders{runtime_, log_, "/tmp"}));
    setenv("XDG_RUNTIME_DIR", "relative/folder", 1);
    setenv("TMPDIR", (root_ / "missing").c_str(), 1);
    EXPECT_EQ(private_output_folders(), Folders{"/tmp"});
    EXPECT_THROW(write_private_xlsx(Workbook(), {root_ / "missing"}), ExportNotWritten);
}

TEST_F(DesktopExport, ADetachedProgramIsNeitherWaitedForNorOurChild) {
    const std::string pid_file = log_ + "/linger.pid";
    root_.write("bin/linger", "#!/bin/sh\necho $$ > " + pid_file + ".tmp && /bin/mv " + pid_file +
                                  ".tmp " + pid_file + "\nexec /bin/sleep 60\n");
    fs::permissions(bin_ + "/linger", fs::perms::owner_all);
    ASSERT_TRUE(start_detached(bin_ + "/linger", {"linger"}));
    for (int i = 0; i < 500 && !fs::exists(pid_file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const pid_t pid = std::stoi(read_file(pid_file));
    EXPECT_EQ(kill(pid, 0), 0);  // still running after start_detached came back
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    kill(pid, SIGTERM);
    EXPECT_FALSE(start_detached(bin_ + "/missing", {"missing"}));
}

}  // namespace
}  // namespace permscope::spreadsheet

// What a machine throws at the program besides its directory, each against the real thing: a
// runtime folder that takes no file, no folder that does, a cell longer than the format allows,
// a FIFO or a plain file given as the folder, no display, and configuration files of many
// megabytes. Nothing hangs, nothing is lost silently.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/form1.h"
#include "export/desktop_spreadsheet.h"
#include "export/excel_export.h"
#include "platform/domain_discovery.h"
#include "platform/kerberos.h"
#include "platform/linux_management.h"
#include "rights/folder_read.h"
#include "tests/app/stand_in_services.h"

namespace permscope {
namespace {

namespace fs = std::filesystem;
using app::testing::TempFolder;
using Lines = std::vector<std::string>;

// What a command prints on its standard output and error, and its exit status.
std::pair<std::string, int> run_command(const std::string& command) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return {"popen failed", -1};
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// The cells of the sheet "Rechte" as "coordinate=value", read back by openpyxl.
std::string cells_of(const fs::path& file) {
    setenv("SCRIPT",
           "import sys, openpyxl\n"
           "for row in openpyxl.load_workbook(sys.argv[1])['Rechte'].iter_rows():\n"
           "    for c in row:\n"
           "        if c.value is not None: print(c.coordinate + '=' + c.value)\n",
           1);
    return run_command("PYTHONIOENCODING=utf-8 /usr/bin/python3 -c \"$SCRIPT\" '" + file.string() +
                       "'")
        .first;
}

std::vector<fs::path> files_in(const std::string& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
}

class ExportFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        // No spreadsheet program: the file stays where it was written.
        saved_path = std::getenv("PATH");
        setenv("PATH", temp.make_folder("no-programs").c_str(), 1);
        groups.append("Vertrieb");
        groups.append_sub_item(1, "is Head");
        users.append("anna");
        users.append_sub_item(1, "Vertrieb");
    }
    void TearDown() override { setenv("PATH", saved_path.c_str(), 1); }

    std::string saved_path;
    TempFolder temp;
    ResultList groups, users;
};

// /proc exists and is absolute, but nobody, root included, may create a file there.
TEST_F(ExportFaults, AnUnwritableRuntimeFolderSendsTheFileToTmpdirStillPrivate) {
    const std::string tmpdir = temp.make_folder("tmp");
    setenv("XDG_RUNTIME_DIR", "/proc", 1);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    const std::string rights = std::string(32'766, 'x') + "\xC3\xA4\xC3\xA4";  // 32,768 characters
    users.append_sub_item(1, rights);

    EXPECT_EQ(spreadsheet::Excel_export(groups, users, true,
                                        *spreadsheet::make_desktop_spreadsheet_factory()),
              "");
    const auto written = files_in(tmpdir);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(fs::status(written[0]).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    // The over-long cell keeps its first 32,767 characters, the last "ä" whole; the others stay.
    EXPECT_EQ(cells_of(written[0]),
              "A2=Vertrieb\nB3=anna\nC3=" + rights.substr(0, rights.size() - 2) + "\n");
}

TEST_F(ExportFaults, WhenNoFolderTakesTheFileTheWindowSaysSo) {
    app::testing::TestServices services;
    services.drives = {{"/ [vda1]", "/"}};
    app::Form1Services real = services.make();
    real.spreadsheet = spreadsheet::make_desktop_spreadsheet_factory(Lines{"/proc", "/proc/sys"});
    app::Form1 form(std::move(real));

    form.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    auto* message = form.findChild<QMessageBox*>(QLatin1String(app::kProblemMessageName));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisible());
    EXPECT_TRUE(message->text().startsWith(
        QStringLiteral("The export could not be written: cannot create a file in /proc: ")))
        << message->text().toStdString();
    EXPECT_TRUE(message->text().contains(QStringLiteral("; cannot create a file in /proc/sys: ")));
}

// The folder read on the real management layer: a path that names no folder gives empty lists
// and no trustee is looked up; a FIFO is never opened, so nothing waits for a writer.
TEST(FolderFaults, AFifoOrAPlainFileGivenAsTheFolderGivesEmptyLists) {
    TempFolder temp;
    const std::string fifo = temp.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string file = temp.write("plain.txt", "x");
    const std::string folder = temp.make_folder("folder");
    auto management = platform::make_linux_management();
    struct NoHooks : rights::ReadHooks {
        void read_starting() override {}
    } hooks;

    for (const std::string& path : {fifo, file, folder}) {
        ResultList users, groups;
        Lines asked;
        const rights::GroupCheck check = [&](std::string& name, std::string, std::string& created) {
            asked.push_back(name);
            created += "," + std::to_string(users.append(name)) + "-User";
            return created;
        };
        rights::find_dir_rights(path, users, groups, *management, check, hooks);
        EXPECT_EQ(users.count(), path == folder ? 3 : 0) << path;
        EXPECT_EQ(asked.size(), path == folder ? 3u : 0u) << path;
    }
}

TEST(DisplayFaults, WithoutADisplayTheProgramSaysSoAndExitsWithOne) {
    const auto [output, status] =
        run_command("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" PERMSCOPE_PROGRAM "'");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output, "permscope: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
}

// head, some megabytes of comment (one line, or many short ones), then tail: what stands past
// 1 MiB is never read.
std::string write_long_config(const TempFolder& temp, const std::string& name,
                              const std::string& head, const std::string& tail, bool one_line) {
    const std::string path = temp.path() + "/" + name;
    std::ofstream file(path);
    file << head;
    for (int i = 0; i < (one_line ? 1 : 300'000); ++i)
        file << (one_line ? std::string(3 << 20, '#') : "# padding") << "\n";
    file << tail;
    return path;
}

TEST(ConfigFaults, OfEachConfigurationFileAtMostOneMebibyteIsReadAndStderrSaysSo) {
    TempFolder temp;
    platform::LinuxManagementConfig config;
    config.sssd_conf =
        write_long_config(temp, "sssd.conf", "[domain/erste]\nid_provider = ad\n[domain/zweite]\n",
                          "id_provider = ad\n[domain/spaet]\nid_provider = ad\n", true);
    config.smb_conf = temp.path() + "/smb.conf";
    ASSERT_EQ(mkfifo(config.smb_conf.c_str(), 0600), 0);  // never waited on
    setenv("KRB5_CONFIG",
           write_long_config(temp, "krb5.conf", "[libdefaults]\n",
                             "[libdefaults]\n default_realm = SPAET.TEST\n", false)
               .c_str(),
           1);
    setenv("LDAPCONF",
           write_long_config(temp, "ldap.conf", "", "BASE dc=spaet,dc=test\n", false).c_str(), 1);

    ::testing::internal::CaptureStderr();
    platform::limit_library_configuration();
    const Lines names = platform::discover_forest_names(config);
    const std::string said = ::testing::internal::GetCapturedStderr();

    // zweite's section head stands before the limit, its id_provider line after it; the realm
    // and the LDAP base stand after it too.
    EXPECT_EQ(names, Lines{"erste"});
    for (const char* name : {"sssd.conf", "krb5.conf", "ldap.conf"})
        EXPECT_NE(said.find(temp.path() + "/" + name +
                            " is longer than 1 MiB; the rest of it is ignored\n"),
                  std::string::npos)
            << name << " in: " << said;
}

}  // namespace
}  // namespace permscope

// permscope-report run against a private slapd and folders with POSIX ACLs: every cell the window
// shows and exports for the same folder comes out unchanged, read back by Python's own parsers.

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTreeView>
#include <fstream>
#include <iterator>

#include "app/form1.h"
#include "testbed/private_slapd.h"
#include "tests/app/stand_in_services.h"
#include "tests/faults/stalling_proxy.h"

namespace permscope::report {
namespace {

using permscope::testing::StallingProxy;

// adm holds Karl, staff and daemon; staff holds Lena and audio; audio holds Ole (ACLs name them).
std::string organisation() {
    permscope::testing::OrganisationLdif o("report.test");
    const std::string people = o.organisational_unit("People");
    const std::string audio = o.group("audio", "audio", {o.user("Ole Dahl", "odahl", people)});
    const std::string staff =
        o.group("staff", "staff", {o.user("Lena Frank", "lfrank", people), audio});
    o.group("adm", "adm",
            {o.user("Karl Otto", "kotto", people), staff, o.user("daemon", "daemon")});
    return o.text();
}

std::string file_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Lines of text, each with prefix, each ended by a line end.
std::string lines(const std::vector<std::string>& items, const std::string& prefix = {}) {
    std::string text;
    for (const std::string& item : items)
        text += prefix + item + "\n";
    return text;
}

struct Finished {
    int status = -1;
    std::string out, err;
};

class ReportTest : public ::testing::Test {
  protected:
    // The machine's domain is the private directory's, found the way the program finds it.
    static void SetUpTestSuite() {
        setenv("LDAPURI", slapd().uri().c_str(), 1);
        setenv("LDAPBASE", slapd().suffix().c_str(), 1);
        setenv("KRB5_CONFIG", "/dev/null", 1);
        setenv("KRB5CCNAME", "FILE:/nonexistent/permscope-no-ticket", 1);
    }
    static const permscope::testing::PrivateSlapd& slapd() {
        static const permscope::testing::PrivateSlapd slapd("dc=report,dc=test", organisation());
        return slapd;
    }

    // Owner this process's user, owning group nogroup, and the access list entries given.
    std::string make_folder(const std::string& name, const std::string& acl) {
        const std::string folder = temp.make_folder(name);
        if (chown(folder.c_str(), geteuid(), getgrnam("nogroup")->gr_gid) != 0 ||
            chmod(folder.c_str(), 0750) != 0 ||
            std::system(("setfacl -m " + acl + " '" + folder + "'").c_str()) != 0)
            throw std::runtime_error("cannot prepare " + folder + " (setfacl is needed)");
        return folder;
    }

    // A shell command; its standard output is also left in the file temp/<kept>.
    Finished run(const std::string& command, const std::string& kept = "stdout") {
        const std::string out = temp / kept, err = temp / "stderr";
        const int status = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, file_text(out), file_text(err)};
    }
    Finished report(const std::string& arguments, const std::string& environment = {}) {
        return run("env " + environment + " '" PERMSCOPE_REPORT "' " + arguments);
    }
    // A report file as read_back.py prints it; a file it cannot read fails the test.
    std::string read_back(const std::string& format, const std::string& file) {
        const std::string command = "/usr/bin/python3 '" PERMSCOPE_READ_BACK "' " + format;
        const Finished read = run(command + " '" + file + "'", "read-back");
        EXPECT_EQ(read.status, 0) << read.err;
        return read.out;
    }

    const app::testing::TempFolder temp;
    const std::string me = getpwuid(geteuid())->pw_name;
};

// Every cell a list view of the window shows, a row as "cell|cell…".
std::vector<std::string> shown(const app::Form1& form, const char* list) {
    const QAbstractItemModel* model = form.findChild<QTreeView*>(list)->model();
    std::vector<std::string> rows(static_cast<std::size_t>(model->rowCount()));
    for (int row = 0; row < model->rowCount(); ++row)
        for (int column = 0; column < model->columnCount(); ++column)
            rows[static_cast<std::size_t>(row)] +=
                (column ? "|" : "") +
                model->data(model->index(row, column)).toString().toStdString();
    return rows;
}

TEST_F(ReportTest, EveryFormatHoldsExactlyWhatTheWindowShowsAndExportsForTheSameFolder) {
    const std::string folder = make_folder("Daten, alt", "u:daemon:r--,g:adm:rwx,g:staff:r-x");
    app::Form1Services services = app::make_linux_services();
    auto recording = std::make_unique<spreadsheet::testing::RecordingFactory>();
    const auto* exported = recording.get();
    services.spreadsheet = std::move(recording);
    std::unique_ptr<app::Form1> window;
    {
        const app::testing::CurrentFolder inside(folder);
        window = std::make_unique<app::Form1>(std::move(services));
    }
    window->Load();
    window->findChild<QPushButton*>("Command2")->click();
    const auto users = shown(*window, "LvUser");
    const auto groups = shown(*window, "LvGroups");
    // The window really expanded the groups: the lists compared below are not empty ones.
    EXPECT_EQ(lines(users),
              lines({me + "|no Group|Vollzugriff", "daemon|no Group; adm|Lesen; Ändern",
                     "nogroup|no Group|Lesen, Ausführen", "Karl Otto|adm|Ändern",
                     "Lena Frank|staff|Ändern; Lesen, Ausführen",
                     "Ole Dahl|audio|Ändern; Lesen, Ausführen", "Everyone|no Group|0"}));
    EXPECT_EQ(lines(groups), lines({"adm|is Head|staff|Ändern", "staff|adm;|audio|Ändern",
                                    "audio|staff||Ändern"}));

    const Finished csv = report("'" + folder + "'");
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.err, "");
    EXPECT_EQ(read_back("csv", temp / "stdout"),
              "Folder|Name|Group|Rights\n" + lines(users, folder + "|"));

    EXPECT_EQ(report("--format json '" + folder + "'").status, 0);
    EXPECT_EQ(read_back("json", temp / "stdout"),
              lines({"folder=" + folder, "complete=true", "problem=None"}) + lines(users, "user:") +
                  lines(groups, "group:") +
                  lines({"head:adm", "member:daemon|Lesen; Ändern", "member:Karl Otto|Ändern",
                         "member:Lena Frank|Ändern; Lesen, Ausführen",
                         "member:Ole Dahl|Ändern; Lesen, Ausführen"}));

    const std::string book = temp / "rechte.xlsx";
    EXPECT_EQ(report("--format xlsx --output '" + book + "' '" + folder + "'").status, 0);
    struct stat info {};
    ASSERT_EQ(stat(book.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::string rechte = "sheet:Rechte\n";
    for (const std::string& cell : exported->cells())
        rechte += cell.back() == '=' ? "" : cell + "\n";  // an empty cell is not in the file
    EXPECT_EQ(read_back("xlsx", book),
              rechte + "sheet:Benutzer\nName|Group|Rights\n" + lines(users) +
                  "sheet:Gruppen\nName|HeadGroup|SubGroups|Rights\n" + lines(groups));
}

TEST_F(ReportTest, AStalledDirectoryGivesTheListsMarkedIncompleteTheWindowsMessageAndStatusOne) {
    const std::string folder = make_folder("Projekte", "g:adm:r-x");
    const StallingProxy stalled(slapd().port(), StallingProxy::Fault::StallAfterBind);
    const std::string environment = "LDAPURI=" + stalled.uri() + " LDAPTIMEOUT=1";
    const std::string message = "The directory at " + stalled.uri() +
                                " stopped answering (no answer within 1 s). The lists are "
                                "incomplete.";

    const Finished piped = report("--format json '" + folder + "'", environment);
    EXPECT_EQ(piped.status, 1);
    // Standard error is no terminal here: the message alone, no progress.
    EXPECT_EQ(piped.err, "permscope-report: " + message + "\n");
    EXPECT_EQ(read_back("json", temp / "stdout"),
              lines({"folder=" + folder, "complete=false", "problem=" + message}) +
                  lines({me + "|no Group|Vollzugriff", "nogroup|no Group|Lesen, Ausführen",
                         "adm|no Group|Lesen, Ausführen", "Everyone|no Group|0"},
                        "user:"));

    // On a terminal the read, two tries of a second each, shows its progress and erases it.
    const Finished terminal = run("env " + environment + " script -qec \"'" PERMSCOPE_REPORT "' '" +
                                  folder + "' >/dev/null\" /dev/null");
    EXPECT_EQ(terminal.status, 1);
    EXPECT_NE(terminal.out.find("\rpermscope-report: reading … 1 s, "), std::string::npos);
    EXPECT_NE(terminal.out.find("\r\033[Kpermscope-report: " + message), std::string::npos);
}

TEST_F(ReportTest, UsageErrorsAndAFolderThatCannotBeReadEndWithStatusTwoAndSaySo) {
    const std::string missing = temp / "gibt es nicht";
    const std::string folder = make_folder("Lager", "g:audio:r--");
    const std::string hint = "\nTry 'permscope-report --help' for more information.\n";
    const std::pair<std::string, std::string> refused[] = {
        {"'" + missing + "'", "cannot read the folder " + missing + ": cannot examine " + missing +
                                  ": No such file or directory\n"},
        {"--format pdf a", "--format: unknown format 'pdf' (csv, json or xlsx)" + hint},
        {"--format xlsx a", "--format xlsx needs --output FILE" + hint},
        {"--bogus a", "Unknown option 'bogus'." + hint},
        {"--output '" + missing + "/x.csv' '" + folder + "'",
         "cannot write " + missing + "/x.csv: No such file or directory\n"},
    };
    for (const auto& [arguments, said] : refused) {
        const Finished refusal = report(arguments);
        EXPECT_EQ(refusal.status, 2) << arguments;
        EXPECT_EQ(refusal.err, "permscope-report: " + said) << arguments;
        EXPECT_EQ(refusal.out, "") << arguments;
    }
    const Finished version = report("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "permscope-report 0.1\n");
}

}  // namespace
}  // namespace permscope::report

// permscope-report run against a private slapd and folders with POSIX ACLs: every cell the window
// shows and exports for the same folder comes out unchanged, read back by Python's own parsers; a
// walk over a folder tree (local, and on a private smbd) gives each folder what a report of that
// folder alone gives, and a comparison of two walks finds exactly the changes made between them.

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <QPushButton>
#include <QTreeView>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

#include "app/form1.h"
#include "testbed/private_slapd.h"
#include "tests/app/stand_in_services.h"
#include "tests/faults/stalling_proxy.h"
#include "tests/fixtures/private_smbd.h"

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

// A walk's read-back, folder by folder: each folder's lines (its state, or its one-folder lines
// without the "folder=" line), in walk order.
std::vector<std::pair<std::string, std::string>> walked_folders(const std::string& read_back) {
    std::vector<std::pair<std::string, std::string>> folders;
    std::istringstream lines(read_back);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("== "))
            folders.emplace_back(line.substr(3), "");
        else if (!folders.empty() && !line.starts_with("folder="))
            folders.back().second += line + "\n";
    }
    return folders;
}

class TreeTest : public ReportTest {
  protected:
    // The folder's whole access list (and default list) as setfacl --set takes it.
    void set_acl(const std::string& folder, const std::string& acl) {
        if (std::system(("setfacl --set '" + acl + "' '" + folder + "'").c_str()) != 0)
            throw std::runtime_error("setfacl --set failed on " + folder);
    }
    // Each folder of the walk's JSON report against a report of that folder alone: the same
    // lines for a folder in full, its nearest ancestor's for one the same as its parent. Returns
    // "FOLDER STATE" lines (state: full, same, or the cause of an unreadable one).
    std::string check_against_single_reports(const std::string& walk_file) {
        std::string states;
        std::map<std::string, std::string> full;  // folder -> its lines
        for (const auto& [folder, lines] : walked_folders(read_back("tree", walk_file))) {
            std::string state = "full", expected = lines;
            if (lines.starts_with("unreadable=")) {
                states += folder + " " + lines;
                continue;
            }
            if (lines.starts_with("same_as_parent=True")) {
                state = "same";
                auto parent = full.upper_bound(folder);
                while (parent != full.begin() && !is_below((--parent)->first, folder)) {
                }
                expected = parent->second;
            }
            full[folder] = expected;
            states += folder + " " + state + "\n";
            EXPECT_EQ(walk_report("--format json '" + folder + "'").status, 0);
            const std::string alone = read_back("json", temp / "stdout");
            EXPECT_EQ(alone.substr(alone.find('\n') + 1), expected) << folder;
        }
        return states;
    }
    static bool is_below(const std::string& ancestor, const std::string& folder) {
        return folder.starts_with(ancestor) && folder.size() > ancestor.size() &&
               (folder[ancestor.size()] == '/' || folder[ancestor.size()] == '\\');
    }
    // The report run by root as any user runs it: without the privilege to pass over a folder's
    // permissions.
    Finished walk_report(const std::string& arguments) {
        return run("setpriv --bounding-set=-dac_override,-dac_read_search '" PERMSCOPE_REPORT "' " +
                   arguments);
    }
    std::string tree_report(const std::string& arguments, const std::string& file) {
        const Finished walk = walk_report(arguments + " --output '" + file + "'");
        EXPECT_EQ(walk.status, 0) << walk.err;
        return walk.err;
    }
};

TEST_F(TreeTest, EachFolderOfAWalkAsItsOwnReportInEveryFormatAndTheChangesOfTheNextWalk) {
    ASSERT_EQ(geteuid(), 0u) << "the walk's bind mount and unreadable folder need root";
    const std::string acl = "u::rwx,g::r-x,o::---,g:adm:rwx,g:staff:r-x,m::rwx";
    const std::string baum = temp.make_folder("Baum");
    set_acl(baum, acl + ",d:" + std::regex_replace(acl, std::regex(","), ",d:"));
    for (const char* folder : {"Erbt/Tiefer/Zu tief", "Eigen/Kind", "Gesperrt/Innen"})
        temp.make_folder("Baum/" + std::string(folder));  // each inheriting Baum's default list
    set_acl(baum + "/Eigen", "u::rwx,g::---,o::---,g:audio:r-x,m::r-x");
    ASSERT_EQ(chmod((baum + "/Gesperrt").c_str(), 0650), 0);  // its names, not its entries
    ASSERT_EQ(symlink("Eigen", (baum + "/Verweis").c_str()), 0);
    make_folder("Anderswo/Unter", "g:staff:rwx");
    temp.make_folder("Baum/Einhaengung");
    ASSERT_EQ(mount((temp / "Anderswo").c_str(), (baum + "/Einhaengung").c_str(), nullptr, MS_BIND,
                    nullptr),
              0);
    const struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{baum + "/Einhaengung"};

    const std::string innen = baum + "/Gesperrt/Innen";
    EXPECT_EQ(tree_report("--depth 2 --format json '" + baum + "'", temp / "old.json"),
              "permscope-report: cannot read the folder " + innen + ": cannot examine " + innen +
                  ": Permission denied\n");
    EXPECT_EQ(check_against_single_reports(temp / "old.json"),
              lines({baum + " full", baum + "/Eigen full", baum + "/Eigen/Kind full",
                     baum + "/Erbt same", baum + "/Erbt/Tiefer same", baum + "/Gesperrt full",
                     innen + " unreadable=cannot examine " + innen + ": Permission denied"}));
    // Across the mount, as any other folder.
    tree_report("--depth 1 --cross-mounts --format json '" + baum + "'", temp / "mounts.json");
    EXPECT_EQ(check_against_single_reports(temp / "mounts.json"),
              lines({baum + " full", baum + "/Eigen full", baum + "/Einhaengung full",
                     baum + "/Erbt same", baum + "/Gesperrt full"}));

    // The other formats of the same walk hold the same users.
    std::string users, ordner = "Folder|Users|Problem|\n";
    for (const auto& [folder, lines] : walked_folders(read_back("tree", temp / "old.json"))) {
        std::istringstream rows(lines);
        int count = 0;
        for (std::string row; std::getline(rows, row);) {
            if (!row.starts_with("user:"))
                continue;
            users += folder + "|" + row.substr(5) + "\n";
            ++count;
        }
        ordner += folder + "|" +
                  (lines.starts_with("same") ? "wie übergeordneter Ordner|"
                   : lines.starts_with("unreadable=")
                       ? "nicht lesbar|" + lines.substr(11, lines.size() - 12)
                       : std::to_string(count) + "|") +
                  "|\n";
    }
    tree_report("--depth 2 '" + baum + "'", temp / "walk.csv");
    EXPECT_EQ(read_back("csv", temp / "walk.csv"), "Folder|Name|Group|Rights\n" + users);
    tree_report("--depth 2 --format xlsx '" + baum + "'", temp / "walk.xlsx");
    EXPECT_EQ(read_back("xlsx", temp / "walk.xlsx"),
              "sheet:Ordner\n" + ordner + "|||\nFolder|Name|Group|Rights\n" + users);

    // Changes: staff may only read Baum (so Erbt, which kept the old list, is now reported in
    // full with the lists it had through Baum: no change), daemon may read Eigen, Kind goes, Neu
    // comes.
    ASSERT_EQ(std::system(("setfacl -m g:staff:r-- '" + baum + "'").c_str()), 0);
    ASSERT_EQ(std::system(("setfacl -m u:daemon:r-- '" + baum + "/Eigen'").c_str()), 0);
    std::filesystem::remove(baum + "/Eigen/Kind");
    temp.make_folder("Baum/Neu");
    tree_report("--depth 2 --format json '" + baum + "'", temp / "new.json");
    const std::string compare = "--compare '" + temp / "old.json" + "' ";
    const Finished changes = report(compare + "'" + temp / "new.json" + "'");
    EXPECT_EQ(changes.status, 1);
    EXPECT_EQ(changes.out,
              lines({"~\t" + baum + "\tLena Frank\tÄndern; Lesen, Ausführen\tÄndern; Lesen",
                     "~\t" + baum + "\tOle Dahl\tÄndern; Lesen, Ausführen\tÄndern; Lesen",
                     "+\t" + baum + "/Eigen\tdaemon\tLesen", "-\t" + baum + "/Eigen/Kind",
                     "+\t" + baum + "/Neu"}));
    const Finished same = report(compare + "'" + temp / "old.json" + "'");
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.out, "");
    const Finished missing = report(compare + "'" + temp / "none.json" + "'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "permscope-report: cannot compare: " + temp / "none.json" +
                               ": No such file or directory\n");
}

TEST_F(TreeTest, AShareTreeOnAPrivateSmbdAsEachFolderAlone) {
    const permscope::testing::PrivateSmbd server;
    const permscope::testing::NtAce everyone{"S-1-1-0", false, 0, 0x1200A9};
    const permscope::testing::NtAce adm{"S-1-22-2-4", false, 3, 0x1301BF};
    // Folders first: making one sets its parents' modes, which drops their NT access lists.
    server.make_folder("Baum/Gleich/Tiefer");
    server.make_folder("Baum/Anders");
    for (const char* folder : {"Baum", "Baum/Gleich", "Baum/Gleich/Tiefer"})
        server.set_nt_acl(folder, {everyone, adm});
    server.set_nt_acl("Baum/Anders", {{"S-1-22-2-50", false, 0, 0x120089}, everyone});
    const std::string baum = server.unc_path("Baum");
    tree_report("--depth 2 --format json '" + baum + "'", temp / "share.json");
    EXPECT_EQ(check_against_single_reports(temp / "share.json"),
              lines({baum + " full", baum + "\\Anders full", baum + "\\Gleich same",
                     baum + "\\Gleich\\Tiefer same"}));
}

// A directory that stops answering costs the walk its time-out once, not once a folder: every
// folder after it is marked incomplete, and the message is told once; meanwhile a terminal shows
// the walk's progress.
TEST_F(TreeTest, AStalledDirectoryCostsTheWalkOneTimeOutAndMarksTheFoldersIncomplete) {
    const std::string baum = make_folder("Baum", "g:adm:r-x");
    int folder = 0;
    for (const char* acl :
         {"g:staff:rwx", "g:audio:r--", "u:daemon:rwx", "g:adm:rwx", "g:staff:r--"})
        make_folder("Baum/" + std::to_string(++folder), acl);
    const StallingProxy stalled(slapd().port(), StallingProxy::Fault::StallAfterBind);
    const auto start = std::chrono::steady_clock::now();
    const Finished walk = report("--depth 1 --format json '" + baum + "'",
                                 "LDAPURI=" + stalled.uri() + " LDAPTIMEOUT=1");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(walk.status, 1);
    EXPECT_EQ(walk.err, "permscope-report: The directory at " + stalled.uri() +
                            " stopped answering (no answer within 1 s). The lists are "
                            "incomplete.\n");
    std::string states;
    for (const auto& [folder, lines] : walked_folders(read_back("tree", temp / "stdout")))
        states += lines.substr(0, lines.find('\n')) + "\n";
    EXPECT_EQ(states, lines(std::vector<std::string>(6, "complete=false")));

    // On a terminal the walk shows the folders done, how many a second, and the folder it reads.
    const Finished terminal =
        run("env LDAPURI=" + stalled.uri() + " LDAPTIMEOUT=1 script -qec \"'" +
            PERMSCOPE_REPORT "' --depth 1 '" + baum + "' >/dev/null\" /dev/null");
    EXPECT_NE(terminal.out.find("\rpermscope-report: 0 folders, 0 folders/s, " + baum + "\033[K"),
              std::string::npos)
        << terminal.out;
}

}  // namespace
}  // namespace permscope::report

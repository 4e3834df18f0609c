// Choosing the folder: the drive list, the directory list (click, double click, keys), the path
// box, and the export button. Reads are counted through the monikers the window binds.

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <QWindow>

#include "app/dir_list.h"
#include "app/drive_list.h"
#include "tests/app/window_fixture.h"
#include "tests/common/row_texts.h"

namespace permscope::app {
namespace {

using testing::file_moniker;
using Lines = std::vector<std::string>;

class FolderSelection : public testing::WindowTest {
  protected:
    void SetUp() override {
        other = temp.make_folder("other");
        sub = temp.make_folder("start/sub");
        const auto entry = [](const std::string& path, const std::string& label) {
            return DriveEntry{QString::fromStdString(path + " [" + label + "]"),
                              QString::fromStdString(path)};
        };
        services.drives = {entry("/", "vda1"), entry(start_folder, "START"), entry(other, "OTHER"),
                           entry(temp / "gone", "GONE")};
        make_form().Load();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        dir = control<DirList>("Dir1");
        drive = control<DriveList>("Drive1");
        path_box = control<QLineEdit>("txtPath");
        seen = reads().size();
    }

    // The paths of the reads since the last call; a share's read as its whole moniker.
    Lines new_reads() {
        const std::string prefix = file_moniker("").substr(0, file_moniker("").size() - 1);
        Lines paths;
        for (; seen < reads().size(); ++seen) {
            const std::string& moniker = reads()[seen];
            paths.push_back(moniker.starts_with(prefix)
                                ? moniker.substr(prefix.size(), moniker.size() - prefix.size() - 1)
                                : moniker);
        }
        return paths;
    }
    void type(const std::string& text, Qt::Key key = Qt::Key_Return,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        path_box->setText(QString::fromStdString(text));
        QTest::keyClick(path_box, key, modifiers);
    }
    QPoint entry_centre(const QString& text) {
        const auto found = dir->findItems(text, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1);
        return dir->viewport()->mapTo(form.get(), dir->visualItemRect(found.front()).center());
    }
    // The path box, the directory list's folder and the drive list's entry.
    std::string state() {
        return path_box->text().toStdString() + " | " + dir->path().toStdString() + " | " +
               std::to_string(drive->currentIndex());
    }

    std::string other, sub;
    DirList* dir = nullptr;
    DriveList* drive = nullptr;
    QLineEdit* path_box = nullptr;
    std::size_t seen = 0;
};

TEST_F(FolderSelection, AnotherVolumeOpensItsRootAndIsReadOnceOneThatCannotBeOpenedChangesNothing) {
    drive->setCurrentIndex(3);
    EXPECT_EQ(state(), "/ | " + start_folder + " | 3");
    EXPECT_EQ(new_reads(), Lines{});
    drive->setCurrentIndex(2);
    EXPECT_EQ(state(), other + " | " + other + " | 2");
    EXPECT_EQ(new_reads(), Lines{other});
    type("/");  // the list goes to "/" and reads it; choosing the volume it shows reads nothing
    new_reads();
    drive->setCurrentIndex(0);
    EXPECT_EQ(new_reads(), Lines{});
}

TEST_F(FolderSelection, AClickSelectsAndReadsTheOpenFolderADoubleClickOrEnterOpensAndReadsTwice) {
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, entry_centre("sub"));
    EXPECT_EQ(state(), sub + " | " + start_folder + " | 1");
    EXPECT_EQ(new_reads(), Lines{start_folder});
    QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, entry_centre("sub"));
    EXPECT_EQ(new_reads(), (Lines{start_folder, sub}));
    EXPECT_EQ(state(), sub + " | " + sub + " | 1");
    dir->setFocus();
    QTest::keyClick(dir, Qt::Key_Up);  // to the ancestor "start"
    EXPECT_EQ(path_box->text().toStdString(), start_folder);
    QTest::keyClick(dir, Qt::Key_Return);
    EXPECT_EQ(new_reads(), (Lines{sub, start_folder}));
    EXPECT_EQ(dir->path().toStdString(), start_folder);
}

TEST_F(FolderSelection, EnterInThePathBoxReadsTheTextAsTypedThenInTheListsForm) {
    const std::string typed = temp.path() + "//other/";
    type(typed);
    EXPECT_EQ(new_reads(), (Lines{typed, other}));
    EXPECT_EQ(state(), other + " | " + other + " | 1");  // the drive list does not follow
    type(other, Qt::Key_Enter, Qt::KeypadModifier);      // the open folder: one read
    type(sub, Qt::Key_Return, Qt::ShiftModifier);
    type(start_folder, Qt::Key_Return, Qt::ControlModifier);
    type(other, Qt::Key_Return, Qt::AltModifier);
    EXPECT_EQ(new_reads(), (Lines{other, sub, sub, start_folder, start_folder, other, other}));
    // Other keys only edit.
    path_box->selectAll();
    QTest::keyClicks(path_box, "/tm");
    QTest::keyClick(path_box, Qt::Key_P);
    QTest::keyClick(path_box, Qt::Key_Tab);
    EXPECT_EQ(state(), "/tmp | " + other + " | 1");
    EXPECT_EQ(new_reads(), Lines{});
}

TEST_F(FolderSelection, AMissingPathOrAShareIsReadAsTypedLeavesTheListAndEmptiesTheLists) {
    ASSERT_GT(form->users().count(), 0);
    for (const std::string& path :
         {temp.path() + "/missing ' folder", std::string("\\\\127.0.0.1\\nothing\\dir"),
          std::string("//127.0.0.1/nothing/dir")}) {
        type(path);
        const std::string moniker =
            path[1] == path[0] ? "winmgmts:Win32_LogicalShareSecuritySetting.name='" + path + "'"
                               : path;
        EXPECT_EQ(new_reads(), Lines{moniker});
        EXPECT_EQ(state(), path + " | " + start_folder + " | 1");
        EXPECT_EQ(control<QTreeView>("LvUser")->model()->rowCount() + form->groups().count(), 0);
    }
}

// The highlight only moves as the user moves it, and each move the user makes is one Click for
// the entry it ends on: the path box always names the highlighted entry.
TEST_F(FolderSelection, EveryMoveOfTheHighlightByTheUserIsOneClickForTheEntryItEndsOn) {
    temp.make_folder("start/zeta");
    ASSERT_TRUE(dir->setPath(QString::fromStdString(sub)));
    ASSERT_TRUE(dir->setPath(QString::fromStdString(start_folder)));
    new_reads();
    const auto shown = [&] {  // the highlighted entries and the path box
        std::string texts;
        for (const QListWidgetItem* item : dir->selectedItems())
            texts += item->text().toStdString() + " ";
        return texts + path_box->text().toStdString();
    };
    const std::string zeta = "zeta " + start_folder + "/zeta";
    QWindow* window = form->windowHandle();
    QTest::mouseClick(window, Qt::RightButton, {}, entry_centre("sub"));  // any button selects
    EXPECT_EQ(shown(), "sub " + sub);
    QTest::mouseClick(window, Qt::MiddleButton, {}, entry_centre("zeta"));
    EXPECT_EQ(shown(), zeta);
    // A press on one entry dragged onto another: one Click, for the second, at the release.
    QTest::mousePress(window, Qt::LeftButton, {}, entry_centre("sub"));
    QMouseEvent drag(QEvent::MouseMove, QPointF(entry_centre("zeta")), QPointF(), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dir->viewport(), &drag);
    QTest::mouseRelease(window, Qt::LeftButton, {}, entry_centre("zeta"));
    EXPECT_EQ(shown(), zeta);
    EXPECT_EQ(new_reads(), (Lines{start_folder, start_folder, start_folder}));
    // Ctrl on the highlighted entry and a press below the last one keep the highlight.
    QTest::mouseClick(window, Qt::LeftButton, Qt::ControlModifier, entry_centre("zeta"));
    QTest::mouseClick(window, Qt::RightButton, {}, dir->geometry().bottomLeft() + QPoint(9, -4));
    EXPECT_EQ(shown(), zeta);
    QTest::keyClick(dir, Qt::Key_Home);
    EXPECT_EQ(shown(), "/ /");
    QTest::keyClick(dir, Qt::Key_Up);  // cannot move: no Click
    QTest::keyClick(dir, Qt::Key_End);
    EXPECT_EQ(shown(), zeta);
    EXPECT_EQ(new_reads(), (Lines{start_folder, start_folder, start_folder}));
}

// The mask follows what the window shows, read or no read.
TEST_F(FolderSelection, TheKeyColourMaskFollowsWhatTheWindowShows) {
    const auto see_through = [&](QPoint at) {
        QCoreApplication::processEvents();  // the repaint the change asked for
        return !form->windowHandle()->mask().contains(at);
    };
    QWidget* users = control<QWidget>("LvUser");
    const QPalette own = users->palette();
    QPalette keyed = own;
    keyed.setColor(QPalette::Base, QColor(255, 0, 255));
    users->setPalette(keyed);
    EXPECT_TRUE(see_through(QPoint(600, 540)));
    EXPECT_FALSE(see_through(QPoint(100, 300)));
    users->setPalette(own);
    EXPECT_FALSE(see_through(QPoint(600, 540)));
    EXPECT_EQ(new_reads(), Lines{});
}

// The one pass over pending events at the start of a read lets a queued choice run its own read
// inside the first one; the first read then ends, so the lists show the earlier choice.
TEST_F(FolderSelection, AChoiceQueuedWhenAReadStartsRunsInsideIt) {
    const std::string with_daemon = temp.make_folder("with-daemon");
    ASSERT_EQ(std::system(("setfacl -m u:daemon:r-x '" + with_daemon + "'").c_str()), 0);
    QCoreApplication::postEvent(drive,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
    ASSERT_TRUE(dir->setPath(QString::fromStdString(with_daemon)));
    EXPECT_EQ(new_reads(), (Lines{other, with_daemon}));
    EXPECT_EQ(state(), other + " | " + other + " | 2");
    const Lines rows = permscope::testing::row_texts(form->users());
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "daemon|no Group|Lesen, Ausführen"), 1);
    EXPECT_EQ(control<QTreeView>("LvUser")->model()->rowCount(), form->users().count());
}

TEST_F(FolderSelection, TheExportButtonExportsTheListsWithTheBusyPointer) {
    form->groups().clear();
    form->users().clear();
    permscope::testing::fill(form->groups(), {"Verwaltung|is Head||Lesen"});
    permscope::testing::fill(form->users(), {"anna|Verwaltung|Ändern"});
    QTest::mouseClick(control<QWidget>("Command2"), Qt::LeftButton);
    QTest::mouseClick(control<QWidget>("Command2"), Qt::LeftButton);
    const Lines one = {"CreateObject(Excel.Application)",
                       "busy",
                       "Workbooks.Add",
                       "Sheets(Tabelle1).Select",
                       "Sheets(Tabelle1).Name=Rechte",
                       "Range(A2)=Verwaltung",
                       "Range(B3)=anna",
                       "Range(C3)=Ändern",
                       "Visible=True",
                       "Release"};
    Lines both = one;
    both.insert(both.end(), one.begin(), one.end());
    EXPECT_EQ(services.spreadsheet->calls(), both);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace permscope::app

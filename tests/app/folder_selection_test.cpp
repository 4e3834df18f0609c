// Choosing the folder: the drive list, the directory list (click, double click, keys) and the
// path box. Reads are counted through the monikers the window binds, one per read.

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <cstdlib>

#include "app/dir_list.h"
#include "app/drive_list.h"
#include "tests/app/window_fixture.h"

namespace permscope::app {
namespace {

using testing::file_moniker;
using testing::WindowTest;

std::vector<std::string> monikers_of(std::initializer_list<std::string> paths) {
    std::vector<std::string> monikers;
    for (const std::string& path : paths)
        monikers.push_back(file_moniker(path));
    return monikers;
}

bool has_user_row(const ResultList& users, const std::string& name) {
    for (const ResultList::Row& row : users.rows())
        if (row.text == name)
            return true;
    return false;
}

class FolderSelection : public WindowTest {
  protected:
    void SetUp() override {
        other_folder = temp.make_folder("other");
        sub_folder = temp.make_folder("start/sub");
        services.drives = {{"/ [vda1]", "/"},
                           {temp.qpath() + "/start [START]", QString::fromStdString(start_folder)},
                           {temp.qpath() + "/other [OTHER]", QString::fromStdString(other_folder)},
                           {temp.qpath() + "/gone [GONE]", temp.qpath() + "/gone"}};
        make_form().Load();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        dir = control<DirList>("Dir1");
        drive = control<DriveList>("Drive1");
        path_box = control<QLineEdit>("txtPath");
        reads_before = reads().size();
    }

    std::vector<std::string> new_reads() const {
        return {reads().begin() + static_cast<std::ptrdiff_t>(reads_before), reads().end()};
    }

    void type_and_press(const QString& text, Qt::Key key = Qt::Key_Return,
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        path_box->setText(text);
        QTest::keyClick(path_box, key, modifiers);
    }

    QPoint centre_of_entry(const QString& text) {
        const auto found = dir->findItems(text, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1);
        return dir->viewport()->mapTo(form.get(), dir->visualItemRect(found.front()).center());
    }

    std::string other_folder;
    std::string sub_folder;
    DirList* dir = nullptr;
    DriveList* drive = nullptr;
    QLineEdit* path_box = nullptr;
    std::size_t reads_before = 0;
};

TEST_F(FolderSelection, AnotherVolumeOpensItsRootWritesThePathBoxAndReadsOnce) {
    drive->setCurrentIndex(2);
    EXPECT_EQ(dir->path().toStdString(), other_folder);
    EXPECT_EQ(path_box->text().toStdString(), other_folder);
    EXPECT_EQ(new_reads(), monikers_of({other_folder}));
}

TEST_F(FolderSelection, AVolumeWhoseRootTheListShowsCausesNoRead) {
    type_and_press("/");  // the list goes to "/", the drive list stays where it was
    EXPECT_EQ(drive->currentIndex(), 1);
    reads_before = reads().size();
    drive->setCurrentIndex(0);
    EXPECT_EQ(dir->path(), "/");
    EXPECT_EQ(new_reads(), std::vector<std::string>{});
}

TEST_F(FolderSelection, AVolumeThatCannotBeOpenedLeavesEverythingElseAsItWas) {
    drive->setCurrentIndex(3);
    EXPECT_EQ(drive->currentIndex(), 3);
    EXPECT_EQ(dir->path().toStdString(), start_folder);
    EXPECT_EQ(path_box->text(), "/");
    EXPECT_EQ(new_reads(), std::vector<std::string>{});
}

TEST_F(FolderSelection, AClickWritesTheEntryButReadsTheOpenFolder) {
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, centre_of_entry("sub"));
    EXPECT_EQ(path_box->text().toStdString(), sub_folder);
    EXPECT_EQ(dir->path().toStdString(), start_folder);
    EXPECT_EQ(new_reads(), monikers_of({start_folder}));
}

TEST_F(FolderSelection, ADoubleClickReadsTwiceAndEndsOnTheOpenedFolder) {
    QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, centre_of_entry("sub"));
    EXPECT_EQ(new_reads(), monikers_of({start_folder, sub_folder}));
    EXPECT_EQ(dir->path().toStdString(), sub_folder);
    EXPECT_EQ(path_box->text().toStdString(), sub_folder);
}

TEST_F(FolderSelection, ArrowKeysSelectAndEnterOpens) {
    dir->setFocus();
    QTest::keyClick(dir, Qt::Key_Down);
    EXPECT_EQ(path_box->text().toStdString(), sub_folder);
    QTest::keyClick(dir, Qt::Key_Return);
    EXPECT_EQ(new_reads(), monikers_of({start_folder, sub_folder}));
}

TEST_F(FolderSelection, EnterOnAnotherFolderReadsItAsTypedThenInTheListsForm) {
    const std::string typed = temp.path() + "//other/";
    type_and_press(QString::fromStdString(typed));
    EXPECT_EQ(new_reads(), monikers_of({typed, other_folder}));
    EXPECT_EQ(path_box->text().toStdString(), other_folder);
    EXPECT_EQ(dir->path().toStdString(), other_folder);
    EXPECT_EQ(drive->currentIndex(), 1);  // the drive list does not follow a typed path
}

TEST_F(FolderSelection, EnterOnTheOpenFolderReadsOnce) {
    type_and_press(QString::fromStdString(start_folder));
    EXPECT_EQ(new_reads(), monikers_of({start_folder}));
}

TEST_F(FolderSelection, EnterOnAMissingPathReadsItOnceAndKeepsTheTypedText) {
    ASSERT_GT(form->users().count() + form->groups().count(), 0);
    const std::string missing = temp.path() + "/missing ' folder";
    type_and_press(QString::fromStdString(missing));
    EXPECT_EQ(new_reads(), monikers_of({missing}));
    EXPECT_EQ(form->users().count(), 0);
    EXPECT_EQ(form->groups().count(), 0);
    EXPECT_EQ(path_box->text().toStdString(), missing);
    EXPECT_EQ(dir->path().toStdString(), start_folder);
    EXPECT_EQ(control<QTreeView>("LvUser")->model()->rowCount(), 0);
}

TEST_F(FolderSelection, TheKeyColourMaskIsRebuiltAfterEachRead) {
    // The user list turns key-coloured: the mask learns of it at the next read, not before.
    QWidget* users = control<QWidget>("LvUser");
    QPalette keyed = users->palette();
    keyed.setColor(QPalette::Base, QColor(255, 0, 255));
    users->setPalette(keyed);
    const QPoint empty_user_area(600, 540);
    EXPECT_TRUE(form->mask().contains(empty_user_area));
    type_and_press(QString::fromStdString(start_folder));
    EXPECT_FALSE(form->mask().contains(empty_user_area));
    EXPECT_TRUE(form->mask().contains(QPoint(100, 300)));
}

TEST_F(FolderSelection, SharePathsGoToTheReadUnchanged) {
    for (const std::string share : {"\\\\127.0.0.1\\nothing\\dir", "//127.0.0.1/nothing/dir"}) {
        reads_before = reads().size();
        type_and_press(QString::fromStdString(share));
        EXPECT_EQ(new_reads(),
                  std::vector<std::string>{"winmgmts:Win32_LogicalShareSecuritySetting.name='" +
                                           share + "'"});
        EXPECT_EQ(path_box->text().toStdString(), share);
        EXPECT_EQ(form->users().count(), 0);
    }
}

TEST_F(FolderSelection, EnterActsAlikeWithAnyModifierAndOnTheKeypad) {
    type_and_press(QString::fromStdString(other_folder), Qt::Key_Return, Qt::ShiftModifier);
    type_and_press(QString::fromStdString(sub_folder), Qt::Key_Return, Qt::ControlModifier);
    type_and_press(QString::fromStdString(start_folder), Qt::Key_Enter, Qt::KeypadModifier);
    type_and_press(QString::fromStdString(other_folder), Qt::Key_Return, Qt::AltModifier);
    EXPECT_EQ(new_reads(), monikers_of({other_folder, other_folder, sub_folder, sub_folder,
                                        start_folder, start_folder, other_folder, other_folder}));
}

TEST_F(FolderSelection, OtherKeysOnlyEdit) {
    path_box->setFocus();
    path_box->selectAll();
    QTest::keyClicks(path_box, "/tm");
    QTest::keyClick(path_box, Qt::Key_P);
    QTest::keyClick(path_box, Qt::Key_Tab);
    EXPECT_EQ(path_box->text(), "/tmp");
    EXPECT_EQ(new_reads(), std::vector<std::string>{});
    EXPECT_EQ(dir->path().toStdString(), start_folder);
}

// The one pass over pending events at the start of a read lets a queued choice run its own read
// inside the first one; the first read then ends, so the lists show the earlier choice.
TEST_F(FolderSelection, AChoiceQueuedWhenAReadStartsRunsInsideIt) {
    const std::string with_daemon = temp.make_folder("with-daemon");
    ASSERT_EQ(std::system(("setfacl -m u:daemon:r-x '" + with_daemon + "'").c_str()), 0)
        << "setfacl is needed for this test";
    // A choice of drive is waiting in the queue when the read of with-daemon starts.
    QCoreApplication::postEvent(drive,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
    ASSERT_TRUE(dir->setPath(QString::fromStdString(with_daemon)));

    // The queued choice reads its folder first; only then does the first read bind its own.
    EXPECT_EQ(new_reads(), monikers_of({other_folder, with_daemon}));
    EXPECT_EQ(drive->currentIndex(), 2);
    EXPECT_TRUE(has_user_row(form->users(), "daemon"));
    const QAbstractItemModel* shown = control<QTreeView>("LvUser")->model();
    EXPECT_EQ(shown->rowCount(), form->users().count());
    EXPECT_EQ(dir->path().toStdString(), other_folder);
    EXPECT_EQ(path_box->text().toStdString(), other_folder);
}

TEST_F(FolderSelection, TheExportButtonExportsTheListsWithTheBusyPointer) {
    ResultList& groups = form->groups();
    ResultList& users = form->users();
    groups.clear();
    users.clear();
    groups.append("Verwaltung");
    groups.append_sub_item(1, "is Head");
    groups.append_sub_item(1, "");
    groups.append_sub_item(1, "Lesen");
    users.append("anna");
    users.append_sub_item(1, "Verwaltung");
    users.append_sub_item(1, QString::fromUtf8("Ändern").toStdString());
    QTest::mouseClick(control<QWidget>("Command2"), Qt::LeftButton);
    EXPECT_EQ(services.spreadsheet->calls(),
              (std::vector<std::string>{"CreateObject(Excel.Application)", "busy", "Workbooks.Add",
                                        "Sheets(Tabelle1).Select", "Sheets(Tabelle1).Name=Rechte",
                                        "Range(A2)=Verwaltung", "Range(B3)=anna",
                                        "Range(C3)=Ändern", "Visible=True", "Release"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Each click makes a workbook of its own.
    QTest::mouseClick(control<QWidget>("Command2"), Qt::LeftButton);
    const auto& calls = services.spreadsheet->calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "CreateObject(Excel.Application)"), 2);
}

}  // namespace
}  // namespace permscope::app

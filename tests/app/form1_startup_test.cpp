// The start-up sequence: what Load leaves in the window, in the order its steps run.

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>

#include "app/dir_list.h"
#include "app/drive_list.h"
#include "directory/group_resolver.h"
#include "platform/linux_management.h"
#include "rights/folder_read.h"
#include "tests/app/window_fixture.h"

namespace permscope::app {
namespace {

using testing::file_moniker;
using testing::StandInDisk;
using testing::WindowTest;

QStringList combo_entries(const QComboBox* combo) {
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    return entries;
}

std::vector<std::string> row_texts(const ResultList& list) {
    std::vector<std::string> rows;
    for (const ResultList::Row& row : list.rows()) {
        std::string text = row.text;
        for (const std::string& sub_item : row.sub_items)
            text += "|" + sub_item;
        rows.push_back(text);
    }
    return rows;
}

class NoRead : public rights::ReadHooks {
    void read_starting() override {}
};

class Form1Startup : public WindowTest {
  protected:
    void SetUp() override {
        services.drives = {{"/ [vda1]", "/"},
                           {QString::fromStdString(temp.path()) + " [TEST]", temp.qpath()}};
    }
};

TEST_F(Form1Startup, EveryReportedForestNameBecomesAnEntryAndTheFirstIsSelected) {
    services.management.domains = {std::string("corp.example"), std::string("corp.example"),
                                   std::monostate{}, std::string("branch.example"),
                                   std::string("")};
    make_form().Load();
    auto* domains = control<QComboBox>("cboDomain");
    EXPECT_EQ(combo_entries(domains),
              QStringList({"corp.example", "corp.example", "branch.example", ""}));
    EXPECT_EQ(domains->currentIndex(), 0);
    EXPECT_EQ(domains->currentText(), "corp.example");
    // Assistive technology keeps finding the selector by its name, with the domain as value.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(domains);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Domain");
    EXPECT_EQ(accessible->text(QAccessible::Value), "corp.example");
    // The display field shows the last name that had a value.
    EXPECT_EQ(control<QLineEdit>("txtDomain")->text(), "");
    EXPECT_TRUE(domains->isHidden());
}

TEST_F(Form1Startup, TheDisplayFieldShowsTheLastDiscoveredName) {
    services.management.domains = {std::string("corp.example"), std::string("branch.example"),
                                   std::monostate{}};
    make_form().Load();
    EXPECT_EQ(control<QLineEdit>("txtDomain")->text(), "branch.example");
}

TEST_F(Form1Startup, WithoutAnyDomainTheWindowStillOpensAndReadsTheStartFolder) {
    services.management.locator_fails = true;
    make_form().Load();
    EXPECT_EQ(control<QComboBox>("cboDomain")->count(), 0);
    EXPECT_EQ(control<QLineEdit>("txtDomain")->text(), "");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(reads(), std::vector<std::string>{file_moniker(start_folder)});
    EXPECT_GT(form->users().count() + form->groups().count(), 0);
}

TEST_F(Form1Startup, ReadsTheStartFolderOnceAndKeepsThePathBoxAtItsFirstText) {
    make_form().Load();
    // One read: the start folder. Step 11's "<drive entry>/" names no folder and moves nothing.
    EXPECT_EQ(reads(), std::vector<std::string>{file_moniker(start_folder)});
    EXPECT_EQ(control<QLineEdit>("txtPath")->text(), "/");
    EXPECT_EQ(control<DirList>("Dir1")->path(), QString::fromStdString(start_folder));
    EXPECT_EQ(control<DriveList>("Drive1")->currentText(), temp.qpath() + " [TEST]");
    // The read ran with the busy pointer, which is gone afterwards.
    EXPECT_EQ(*services.busy_at_reads, std::vector<bool>{true});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(control<QTreeWidget>("TreeView1")->cursor().shape(), Qt::WaitCursor);
}

TEST_F(Form1Startup, TheListsShowTheStartFolderAsTheFolderReadGivesIt) {
    std::filesystem::permissions(start_folder, std::filesystem::perms(0750));
    make_form().Load();

    // The same read, done by the core alone with an equally unreachable directory.
    ResultList users;
    ResultList groups;
    const auto directory = testing::unreachable_directory();
    directory::GroupResolver resolver(*directory, [] { return std::string(); });
    const auto management = platform::make_linux_management();
    NoRead hooks;
    rights::find_dir_rights(
        start_folder, users, groups, *management,
        [&](std::string& name, std::string from, std::string& created) {
            return resolver.Group_check(users, groups, name, std::move(from), created);
        },
        hooks);
    ASSERT_GT(users.count(), 0);
    EXPECT_EQ(row_texts(form->users()), row_texts(users));
    EXPECT_EQ(row_texts(form->groups()), row_texts(groups));

    // And the window's list view shows those rows.
    const QAbstractItemModel* shown = control<QTreeView>("LvUser")->model();
    ASSERT_EQ(shown->rowCount(), users.count());
    EXPECT_EQ(shown->data(shown->index(0, 0)).toString().toStdString(), users.text(1));
}

TEST_F(Form1Startup, ConnectsWithTheManagementServicesArgumentsAndFillsTheHiddenTree) {
    temp.make_folder("start/inner");
    services.management.disks = {StandInDisk{std::int64_t{3}, start_folder, false},
                                 StandInDisk{std::int64_t{4}, std::string("/mnt/x"), false}};
    make_form().Load();
    auto* tree = control<QTreeWidget>("TreeView1");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), start_folder);
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "inner");
    EXPECT_TRUE(tree->isHidden());
    EXPECT_EQ(tree->frameShape(), QFrame::NoFrame);
}

TEST_F(Form1Startup, EndsWithTheKeyColourTransparentAndTheDirectoryListFocused) {
    make_form().Load();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(255, 0, 255));
    const QRegion mask = form->mask();
    ASSERT_FALSE(mask.isEmpty());
    EXPECT_FALSE(mask.contains(QPoint(300, 580)));  // the strip the picture leaves uncovered
    EXPECT_TRUE(mask.contains(QPoint(0, 580)));     // the left border line
    EXPECT_TRUE(mask.contains(QPoint(300, 40)));    // the picture's title strip
    EXPECT_TRUE(mask.contains(QPoint(100, 300)));   // the directory list
    EXPECT_EQ(form->focusWidget(), control<QWidget>("Dir1"));
    // No visible control takes on the key colour from the window.
    for (QWidget* child : form->findChildren<QWidget*>()) {
        if (!child->isVisible() || child->palette().color(QPalette::Window) != QColor(255, 0, 255))
            continue;
        EXPECT_FALSE(child->autoFillBackground()) << child->objectName().toStdString();
        EXPECT_TRUE(qobject_cast<QLabel*>(child) != nullptr) << child->metaObject()->className();
    }
}

TEST_F(Form1Startup, TheWindowOpensCentredOnThePrimaryScreen) {
    make_form().Load();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE(std::abs(form->geometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(form->geometry().center().y() - screen.center().y()), 1);
}

}  // namespace
}  // namespace permscope::app

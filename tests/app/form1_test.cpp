// The window as built and started: its controls, the start-up sequence, the borderless frame, and
// a read against a private directory.

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAccessible>
#include <QComboBox>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include "app/dir_list.h"
#include "app/drive_list.h"
#include "directory/ldap_provider.h"
#include "testbed/private_slapd.h"
#include "tests/app/window_fixture.h"

namespace permscope::app {
namespace {

using testing::file_moniker;

struct Control {
    const char* name;
    QRect pixels;  // the design's twips / 15
    const char* accessible_name;
    QAccessible::Role role;
    const char* text;  // of a line edit, button or label
    bool hidden;
};

const Control kControls[] = {
    {"txtDomain", {496, 104, 185, 19}, "Domain", QAccessible::EditableText, "", false},
    {"Drive1", {16, 152, 209, 23}, "Drive", QAccessible::ComboBox, nullptr, false},
    {"Command2", {16, 544, 209, 17}, "Excel Export", QAccessible::Button, "Excel Export", false},
    {"Command1", {336, 88, 41, 17}, "tt", QAccessible::Button, "tt", true},
    {"TreeView1", {16, 433, 209, 128}, "Drive tree", QAccessible::Tree, nullptr, true},
    {"cboDomain", {496, 104, 185, 23}, "Domain", QAccessible::ComboBox, nullptr, true},
    {"txtPath", {16, 104, 433, 19}, "Path", QAccessible::EditableText, "/", false},
    {"Dir1", {16, 184, 209, 346}, "Folders", QAccessible::List, nullptr, false},
    {"LvUser", {270, 336, 409, 225}, "Users", QAccessible::Tree, nullptr, false},
    {"LvGroups", {272, 153, 409, 144}, "Groups", QAccessible::Tree, nullptr, false},
    {"lblDomain", {536, 88, 145, 17}, "Domain", QAccessible::StaticText, "Domain", false},
    {"lblPath", {16, 88, 113, 17}, "Path", QAccessible::StaticText, "Path", false},
    {"cmdEnde", {656, 0, 57, 33}, "Close", QAccessible::StaticText, "", false},
    {"ImgEnde", {656, 0, 57, 33}, "Close picture", QAccessible::StaticText, "", false},
    {"lblFormHead", {0, 0, 713, 81}, "Title", QAccessible::StaticText, "", false},
    // The border lines: top and left at 0, right at 10635 twips, bottom at 8880 twips from -15
    // to 10680 twips.
    {"LiOben", {0, 0, 710, 1}, "Top border", QAccessible::Client, nullptr, false},
    {"LiUnten", {-1, 592, 714, 1}, "Bottom border", QAccessible::Client, nullptr, false},
    {"LiLinks", {0, 0, 1, 593}, "Left border", QAccessible::Client, nullptr, false},
    {"LiRechts", {709, 0, 1, 593}, "Right border", QAccessible::Client, nullptr, false}};

class Form1Test : public testing::WindowTest {
  protected:
    // A list view's rows as "cell|cell…", one a line.
    std::string shown(const char* design_name) {
        const QAbstractItemModel* model = control<QTreeView>(design_name)->model();
        std::string rows;
        for (int row = 0; row < model->rowCount(); ++row)
            for (int column = 0; column < model->columnCount(); ++column)
                rows += model->data(model->index(row, column)).toString().toStdString() +
                        (column + 1 < model->columnCount() ? "|" : "\n");
        return rows;
    }
    // A start folder of this user and the group nogroup, so that the rows are known.
    void own_start_folder(mode_t mode) {
        ASSERT_EQ(chown(start_folder.c_str(), geteuid(), getgrnam("nogroup")->gr_gid), 0);
        ASSERT_EQ(chmod(start_folder.c_str(), mode), 0);
    }
    const std::string me = getpwuid(geteuid())->pw_name;
};

TEST_F(Form1Test, EveryControlAtItsPlaceWithItsNameRoleTextAndVisibility) {
    make_form();
    EXPECT_EQ(form->size(), QSize(710, 593));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form->windowTitle().toStdString(), "Permscope");
    for (const Control& expected : kControls) {
        QWidget* widget = control<QWidget>(expected.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), expected.pixels) << expected.name;
        EXPECT_EQ(widget->isHidden(), expected.hidden) << expected.name;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        EXPECT_EQ(accessible->text(QAccessible::Name).toStdString(), expected.accessible_name)
            << expected.name;
        EXPECT_EQ(accessible->role(), expected.role) << expected.name;
        if (!expected.text)
            continue;
        QString text = qobject_cast<QLabel*>(widget) ? qobject_cast<QLabel*>(widget)->text() : "";
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            text = edit->text();
        if (auto* button = qobject_cast<QPushButton*>(widget))
            text = button->text();
        EXPECT_EQ(text.toStdString(), expected.text) << expected.name;
    }
    EXPECT_EQ(control<QLabel>("cmdEnde")->toolTip().toStdString(), "Close");
    // Design fonts a Linux desktop lacks get installed stand-ins (Arial's metric twin).
    const QString arial = QFontInfo(control<QWidget>("txtPath")->font()).family();
    EXPECT_TRUE(arial == "Arial" || arial == "Liberation Sans") << arial.toStdString();
    EXPECT_TRUE(control<QWidget>("lblPath")->font().families().contains("Z003"));
}

TEST_F(Form1Test, TheListsShowTheirColumnsUnsortedWithFlatHeadersAndTheTabOrderStartsAtDir1) {
    make_form().Load();
    const auto columns = [](QTreeView* view) {
        std::string text;
        for (int i = 0; i < view->header()->count(); ++i)
            text += view->model()->headerData(i, Qt::Horizontal).toString().toStdString() + ":" +
                    std::to_string(view->header()->sectionSize(i)) + " ";
        EXPECT_FALSE(view->isSortingEnabled());
        EXPECT_FALSE(view->rootIsDecorated());
        EXPECT_FALSE(view->header()->sectionsClickable());
        return text;
    };
    EXPECT_EQ(columns(control<QTreeView>("LvUser")), "Name:127 Group:124 Rights:141 ");
    // SubGroups is there, only zero wide.
    EXPECT_EQ(columns(control<QTreeView>("LvGroups")),
              "Name:127 HeadGroup:124 SubGroups:0 Rights:141 ");
    QStringList order;
    QWidget* widget = control<QWidget>("Dir1");
    EXPECT_EQ(form->focusWidget(), widget);
    for (int i = 0; i < 200 && order.size() < 6; ++i, widget = widget->nextInFocusChain())
        if (widget->focusPolicy() & Qt::TabFocus && !widget->isHidden() &&
            !widget->objectName().isEmpty())
            order << widget->objectName();
    EXPECT_EQ(order.join(' ').toStdString(), "Dir1 txtDomain Drive1 Command2 txtPath LvUser");
}

TEST_F(Form1Test, EveryForestNameBecomesAnEntryTheFirstSelectedTheLastOneWithAValueShown) {
    services.management.domains = {std::string("corp.example"), std::string("corp.example"),
                                   std::monostate{}, std::string("branch.example"),
                                   std::monostate{}};
    make_form().Load();
    auto* domains = control<QComboBox>("cboDomain");
    QStringList entries;
    for (int i = 0; i < domains->count(); ++i)
        entries << domains->itemText(i);
    EXPECT_EQ(entries.join(',').toStdString(), "corp.example,corp.example,branch.example");
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(domains)->text(QAccessible::Value).toStdString(),
        "corp.example");
    EXPECT_EQ(control<QLineEdit>("txtDomain")->text().toStdString(), "branch.example");
}

TEST_F(Form1Test, StartUpReadsTheStartFolderOnceWithTheBusyPointerAndShowsItsRows) {
    services.management.locator_fails = true;  // no domains, no drive tree: still a read
    services.drives = {
        {"/ [vda1]", "/"},
        {QString::fromStdString(temp.path() + " [TEST]"), QString::fromStdString(temp.path())}};
    own_start_folder(0750);
    make_form().Load();
    // Step 11's "<drive entry>/" names no folder and moves nothing.
    EXPECT_EQ(reads(), std::vector<std::string>{file_moniker(start_folder)});
    EXPECT_EQ(*services.busy_at_reads, std::vector<bool>{true});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(control<QTreeWidget>("TreeView1")->cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(control<QLineEdit>("txtPath")->text().toStdString(), "/");
    EXPECT_EQ(control<DirList>("Dir1")->path().toStdString(), start_folder);
    EXPECT_EQ(control<DriveList>("Drive1")->currentText().toStdString(), temp.path() + " [TEST]");
    // Owner, owning group and others, each a user of the unreachable directory.
    EXPECT_EQ(shown("LvUser"), me + "|no Group|Vollzugriff\nnogroup|no Group|Lesen, Ausführen\n"
                                    "Everyone|no Group|0\n");
    EXPECT_EQ(shown("LvGroups"), "");
}

// A machine whose mounts are all pseudo or bind-mounted files lists no drive: step 11 has no
// drive root to go to. A start folder on no listed volume leaves the drive list without a current
// entry, and step 11 moves nothing either.
TEST_F(Form1Test, StartUpWithNoDriveOrNoneHoldingTheStartFolderStaysOnTheStartFolder) {
    for (const std::vector<DriveEntry>& drives :
         {std::vector<DriveEntry>{},
          std::vector<DriveEntry>{{"/elsewhere [X]", "/elsewhere"}, {"/proc [proc]", "/proc"}}}) {
        services.drives = drives;
        const std::size_t before = reads().size();
        make_form().Load();
        EXPECT_EQ(control<DriveList>("Drive1")->currentIndex(), -1);
        EXPECT_EQ(control<DirList>("Dir1")->path().toStdString(), start_folder);
        EXPECT_EQ(control<QLineEdit>("txtPath")->text().toStdString(), "/");
        EXPECT_EQ(reads().size(), before + 1);
    }
}

TEST_F(Form1Test, WithTheProgramsOwnServicesItStartsOnTheRealVolumesAndReadsTheStartFolder) {
    own_start_folder(0750);
    {
        const testing::CurrentFolder inside(start_folder);
        form = std::make_unique<Form1>(make_linux_services());
    }
    form->Load();
    EXPECT_GE(control<DriveList>("Drive1")->findText("/ [", Qt::MatchStartsWith), 0);
    ASSERT_GT(form->users().count(), 1);
    EXPECT_EQ(form->users().text(1), me);
    EXPECT_EQ(form->users().text(form->users().count()), "Everyone");
}

TEST_F(Form1Test, TheHiddenTreeShowsTheLocalFixedDisksWithTheirFolders) {
    temp.make_folder("start/inner");
    temp.make_folder("start/.hidden");
    services.management.disks = {{std::int64_t{3}, start_folder},
                                 {std::int64_t{2}, temp.path()},
                                 {std::int64_t{4}, std::string("/mnt/x")}};
    make_form().Load();
    auto* tree = control<QTreeWidget>("TreeView1");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), start_folder);
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0).toStdString(), "inner");
    EXPECT_EQ(tree->indentation(), 17);  // 250 twips
    EXPECT_EQ(tree->frameShape(), QFrame::NoFrame);
}

TEST_F(Form1Test, StartUpEndsCentredWithTheKeyColourCutOutOfTheWindow) {
    make_form().Load();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE((form->geometry().center() - screen.center()).manhattanLength(), 2);
    // The mask is the window system's (the X11 shape, the Wayland input region).
    const QRegion mask = form->windowHandle()->mask();
    EXPECT_FALSE(mask.contains(QPoint(300, 580)));  // the strip the picture leaves uncovered
    EXPECT_TRUE(mask.contains(QPoint(0, 580)));     // the left border line
    EXPECT_TRUE(mask.contains(QPoint(300, 40)));    // the picture's title strip
    EXPECT_TRUE(mask.contains(QPoint(100, 300)));   // the directory list
    // No visible control but a label takes on the key colour from the window.
    for (QWidget* child : form->findChildren<QWidget*>()) {
        if (child->isVisible() && child->palette().color(QPalette::Window) == QColor(255, 0, 255)) {
            EXPECT_TRUE(qobject_cast<QLabel*>(child) && !child->autoFillBackground())
                << child->objectName().toStdString();
        }
    }
}

// A mouse event at a control, as the window system delivers it there.
void mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton,
           Qt::MouseButtons held = Qt::NoButton) {
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

TEST_F(Form1Test, DraggingTheTitleWithAnyButtonFollowsTheMouseAndSnapsToTheScreensEdges) {
    make_form().Load();
    QLabel* title = control<QLabel>("lblFormHead");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        form->move(screen.topLeft() + QPoint(40, 3));
        mouse(title, QEvent::MouseMove, {120, 60});  // no button: nothing moves
        EXPECT_EQ(form->pos(), screen.topLeft() + QPoint(40, 3));
        mouse(title, QEvent::MouseButtonPress, {100, 40}, button, button);
        EXPECT_EQ(title->cursor().shape(), Qt::SizeAllCursor);
        // Left 50 pixels (750 twips) stays; top 3 pixels is within 350 twips and snaps to 0.
        mouse(title, QEvent::MouseMove, {110, 40}, Qt::NoButton, button);
        EXPECT_EQ(form->pos(), screen.topLeft() + QPoint(50, 0));
        // 25 pixels (375 twips) from the left edge stays; 22 (330 twips) snaps.
        mouse(title, QEvent::MouseMove, {75, 40}, Qt::NoButton, button);
        EXPECT_EQ(form->pos().x(), screen.left() + 25);
        mouse(title, QEvent::MouseMove, {97, 40}, Qt::NoButton, button);
        EXPECT_EQ(form->pos().x(), screen.left());
        // Far to the right and down: flush with the right and bottom edges.
        mouse(title, QEvent::MouseMove, {100 + screen.width(), 40 + screen.height()}, Qt::NoButton,
              button);
        EXPECT_EQ(form->pos(), screen.bottomRight() - QPoint(709, 592));
        mouse(title, QEvent::MouseButtonRelease, {100, 40}, button);
        EXPECT_EQ(title->cursor().shape(), Qt::ArrowCursor);
    }
}

// The hover picture lives beside the program: here, beside the test program.
TEST_F(Form1Test, TheCloseLabelShowsItsHoverPictureLiesAboveTheTitleAndClosesTheWindow) {
    make_form().Load();
    QLabel* close_label = control<QLabel>("cmdEnde");
    QLabel* picture = control<QLabel>("ImgEnde");
    EXPECT_EQ(form->childAt(QPoint(680, 15)), close_label);
    EXPECT_EQ(form->childAt(QPoint(300, 40)), control<QLabel>("lblFormHead"));
    const std::string beside =
        QCoreApplication::applicationDirPath().toStdString() + "/btnende.jpg";
    std::filesystem::copy_file(PERMSCOPE_SOURCE_DIR "/app/resources/btnende.jpg", beside,
                               std::filesystem::copy_options::overwrite_existing);
    mouse(close_label, QEvent::MouseMove, {10, 10});
    EXPECT_EQ(picture->pixmap().size(), QSize(57, 33));
    mouse(control<QWidget>("Dir1"), QEvent::MouseMove, {5, 5});
    EXPECT_FALSE(picture->pixmap().isNull());  // no other control clears it
    mouse(control<QLabel>("lblFormHead"), QEvent::MouseMove, {300, 40});
    EXPECT_TRUE(picture->pixmap().isNull());
    std::filesystem::remove(beside);
    mouse(close_label, QEvent::MouseMove, {10, 10});
    EXPECT_TRUE(picture->pixmap().isNull());
    mouse(close_label, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(close_label, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Form1Test, AFolderNamingADirectoryGroupShowsItsMembersAfterStartUp) {
    // staff holds alice, bob and the group team; team holds carol.
    permscope::testing::OrganisationLdif o("example.test");
    const std::string people = o.organisational_unit("People");
    const std::string team = o.group("team", "team", {o.user("carol", "carol", people)}, people);
    o.group("staff", "staff",
            {o.user("Alice Adler", "alice", people), o.user("bob", "bob", people), team}, people);
    const permscope::testing::PrivateSlapd slapd(o.suffix(), o.text());
    own_start_folder(0705);
    ASSERT_EQ(std::system(("setfacl -m g:staff:r-x '" + start_folder + "'").c_str()), 0);
    services.management.domains = {std::string("example.test")};
    services.directory = directory::make_ldap_directory_provider({slapd.uri()});
    make_form().Load();
    EXPECT_EQ(shown("LvUser"), me + "|no Group|Vollzugriff\nnogroup|no Group|0\n"
                                    "Alice Adler|staff|Lesen, Ausführen\nbob|staff|Lesen, "
                                    "Ausführen\ncarol|team|Lesen, Ausführen\n"
                                    "Everyone|no Group|Lesen, Ausführen\n");
    EXPECT_EQ(shown("LvGroups"),
              "staff|is Head|team|Lesen, Ausführen\nteam|staff||Lesen, Ausführen\n");
}

}  // namespace
}  // namespace permscope::app

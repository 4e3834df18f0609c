// The window's controls as built: places, kinds, texts, font stand-ins, hidden flags, names,
// columns and tab order.

#include <QAccessible>
#include <QByteArrayList>
#include <QComboBox>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include "app/dir_list.h"
#include "app/drive_list.h"
#include "tests/app/window_fixture.h"

namespace permscope::app {
namespace {

using testing::WindowTest;

struct Expected {
    const char* name;
    QRect pixels;
    const char* accessible_name;
};

// Places of the design in twips / 15.
const Expected kControls[] = {
    {"txtDomain", {496, 104, 185, 19}, "Domain"},
    {"Drive1", {16, 152, 209, 23}, "Drive"},
    {"Command2", {16, 544, 209, 17}, "Excel Export"},
    {"Command1", {336, 88, 41, 17}, "tt"},
    {"TreeView1", {16, 433, 209, 128}, "Drive tree"},
    {"cboDomain", {496, 104, 185, 23}, "Domain"},
    {"txtPath", {16, 104, 433, 19}, "Path"},
    {"Dir1", {16, 184, 209, 346}, "Folders"},
    {"LvUser", {270, 336, 409, 225}, "Users"},
    {"LvGroups", {272, 153, 409, 144}, "Groups"},
    {"lblDomain", {536, 88, 145, 17}, "Domain"},
    {"lblPath", {16, 88, 113, 17}, "Path"},
    {"cmdEnde", {656, 0, 57, 33}, "Close"},
    {"ImgEnde", {656, 0, 57, 33}, "Close picture"},
    {"lblFormHead", {0, 0, 713, 81}, "Title"},
    // The border lines: top and left at 0, right at 10635 twips, bottom at 8880 twips from
    // -15 to 10680 twips.
    {"LiOben", {0, 0, 710, 1}, "Top border"},
    {"LiUnten", {-1, 592, 714, 1}, "Bottom border"},
    {"LiLinks", {0, 0, 1, 593}, "Left border"},
    {"LiRechts", {709, 0, 1, 593}, "Right border"},
};

class Form1Layout : public WindowTest {
  protected:
    void SetUp() override { make_form(); }
};

TEST_F(Form1Layout, TheWindowIsBorderless710By593AndNamedPermscope) {
    EXPECT_EQ(form->size(), QSize(710, 593));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form->windowTitle(), "Permscope");
    EXPECT_EQ(form->objectName(), "Form1");
    EXPECT_FALSE(form->windowIcon().isNull());
}

TEST_F(Form1Layout, EveryControlSitsAtItsPlaceWithItsNamesAndOnlyTheDesignsHiddenOnesHidden) {
    const QByteArrayList hidden_by_design{"Command1", "TreeView1", "cboDomain"};
    for (const Expected& expected : kControls) {
        QWidget* widget = control<QWidget>(expected.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), expected.pixels) << expected.name;
        EXPECT_EQ(widget->isHidden(), hidden_by_design.contains(expected.name)) << expected.name;
        EXPECT_EQ(widget->parentWidget(), form.get()) << expected.name;
        EXPECT_EQ(widget->accessibleName(), expected.accessible_name) << expected.name;
        // Assistive technology sees the same name.
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr) << expected.name;
        EXPECT_EQ(accessible->text(QAccessible::Name), expected.accessible_name) << expected.name;
    }
}

TEST_F(Form1Layout, ControlsAreOfTheirKindWithTheirTexts) {
    EXPECT_EQ(control<QLineEdit>("txtPath")->text(), "/");
    EXPECT_EQ(control<QLineEdit>("txtDomain")->text(), "");
    EXPECT_EQ(control<QPushButton>("Command2")->text(), "Excel Export");
    EXPECT_EQ(control<QPushButton>("Command1")->text(), "tt");
    EXPECT_EQ(control<QLabel>("lblDomain")->text(), "Domain");
    EXPECT_EQ(control<QLabel>("lblPath")->text(), "Path");
    EXPECT_EQ(control<QLabel>("lblFormHead")->text(), "");
    EXPECT_EQ(control<QLabel>("cmdEnde")->text(), "");
    EXPECT_EQ(control<QLabel>("cmdEnde")->toolTip(), "Close");
    EXPECT_NE(control<QComboBox>("cboDomain"), nullptr);
    EXPECT_NE(control<DriveList>("Drive1"), nullptr);
    EXPECT_NE(control<DirList>("Dir1"), nullptr);
    EXPECT_NE(control<QTreeWidget>("TreeView1"), nullptr);
    EXPECT_NE(control<QLabel>("ImgEnde"), nullptr);
}

// The design's fonts are not all on a Linux desktop: each gets a stand-in that is.
TEST_F(Form1Layout, DesignFontsResolveToInstalledStandIns) {
    // Arial resolves to itself or to its metric twin on a Debian desktop.
    const QString arial = QFontInfo(control<QWidget>("txtPath")->font()).family();
    EXPECT_TRUE(arial == "Arial" || arial == "Liberation Sans") << arial.toStdString();
    EXPECT_TRUE(control<QWidget>("lblPath")->font().families().contains("Z003"));
}

QStringList column_titles(QTreeView* view) {
    QStringList titles;
    for (int i = 0; i < view->model()->columnCount(); ++i)
        titles << view->model()->headerData(i, Qt::Horizontal).toString();
    return titles;
}

QList<int> column_widths(QTreeView* view) {
    QList<int> widths;
    for (int i = 0; i < view->header()->count(); ++i)
        widths << view->header()->sectionSize(i);
    return widths;
}

TEST_F(Form1Layout, TheListsShowTheirColumnsUnsortedWithSubGroupsZeroWide) {
    QTreeView* users = control<QTreeView>("LvUser");
    QTreeView* groups = control<QTreeView>("LvGroups");
    EXPECT_EQ(column_titles(users), QStringList({"Name", "Group", "Rights"}));
    EXPECT_EQ(column_widths(users), QList<int>({127, 124, 141}));
    EXPECT_EQ(column_titles(groups), QStringList({"Name", "HeadGroup", "SubGroups", "Rights"}));
    EXPECT_EQ(column_widths(groups), QList<int>({127, 124, 0, 141}));
    EXPECT_FALSE(groups->header()->isSectionHidden(2));  // there, only zero wide
    for (QTreeView* view : {users, groups}) {
        EXPECT_FALSE(view->isSortingEnabled());
        EXPECT_FALSE(view->rootIsDecorated());
        EXPECT_EQ(view->model()->rowCount(), 0);
    }
}

TEST_F(Form1Layout, TheDirectoryListComesFirstInTheTabOrder) {
    QStringList order;
    QWidget* widget = control<QWidget>("Dir1");
    for (int i = 0; i < 200 && widget != nullptr; ++i) {
        if (widget->focusPolicy() & Qt::TabFocus && !widget->isHidden() &&
            !widget->objectName().isEmpty())
            order << widget->objectName();
        widget = widget->nextInFocusChain();
        if (widget == control<QWidget>("Dir1"))
            break;
    }
    EXPECT_EQ(order.value(0), "Dir1");
    EXPECT_EQ(order.mid(0, 6),
              QStringList({"Dir1", "txtDomain", "Drive1", "Command2", "txtPath", "LvUser"}));
}

}  // namespace
}  // namespace permscope::app

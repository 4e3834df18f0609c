// The window end to end against a private directory: a real folder whose access list names a
// directory group shows, after start-up in that folder, the group's users and sub-groups with
// their head groups and rights.

#include <QTreeView>
#include <cstdlib>

#include "directory/ldap_provider.h"
#include "tests/app/window_fixture.h"
#include "tests/fixtures/private_slapd.h"

namespace permscope::app {
namespace {

using permscope::testing::OrganisationLdif;
using permscope::testing::PrivateSlapd;
using testing::WindowTest;

// staff holds alice, bob and the group team; team holds carol.
PrivateSlapd& organisation() {
    static PrivateSlapd slapd = [] {
        OrganisationLdif o("example.test");
        const std::string people = o.organisational_unit("People");
        const std::string alice = o.user("Alice Adler", "alice", people);
        const std::string bob = o.user("bob", "bob", people);
        const std::string carol = o.user("carol", "carol", people);
        const std::string team = o.group("team", "team", {carol}, people);
        o.group("staff", "staff", {alice, bob, team}, people);
        return PrivateSlapd(o.suffix(), o.text());
    }();
    return slapd;
}

std::vector<std::string> shown_rows(QTreeView* view) {
    const QAbstractItemModel* model = view->model();
    std::vector<std::string> rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        std::string text;
        for (int column = 0; column < model->columnCount(); ++column)
            text += (column ? "|" : "") +
                    model->data(model->index(row, column)).toString().toStdString();
        rows.push_back(text);
    }
    return rows;
}

bool contains(const std::vector<std::string>& rows, const std::string& row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

class Form1WithDirectory : public WindowTest {};

TEST_F(Form1WithDirectory, AFolderNamingADirectoryGroupShowsItsMembersAfterStartUp) {
    ASSERT_EQ(std::system(("setfacl -m g:staff:r-x '" + start_folder + "'").c_str()), 0)
        << "setfacl is needed for this test";
    services.management.domains = {std::string("example.test")};
    directory::LdapProviderOptions options;
    options.uri = organisation().uri();
    services.directory = directory::make_ldap_directory_provider(options);
    make_form().Load();

    const std::vector<std::string> groups = shown_rows(control<QTreeView>("LvGroups"));
    const std::vector<std::string> users = shown_rows(control<QTreeView>("LvUser"));
    EXPECT_TRUE(contains(groups, "staff|is Head|team|Lesen, Ausführen"))
        << ::testing::PrintToString(groups);
    EXPECT_TRUE(contains(groups, "team|staff||Lesen, Ausführen"))
        << ::testing::PrintToString(groups);
    EXPECT_TRUE(contains(users, "Alice Adler|staff|Lesen, Ausführen"))
        << ::testing::PrintToString(users);
    EXPECT_TRUE(contains(users, "bob|staff|Lesen, Ausführen"));
    EXPECT_TRUE(contains(users, "carol|team|Lesen, Ausführen"));
    // The views show the lists exactly, row for row.
    EXPECT_EQ(static_cast<ResultList::Position>(users.size()), form->users().count());
    EXPECT_EQ(static_cast<ResultList::Position>(groups.size()), form->groups().count());
}

}  // namespace
}  // namespace permscope::app

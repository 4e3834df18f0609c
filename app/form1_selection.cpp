// Form1's folder choice: the drive list, the directory list and the path box. Every read goes
// through find_dir_rights, which absorbs its own failures.

#include <QLineEdit>

#include "app/dir_list.h"
#include "app/drive_list.h"
#include "app/form1.h"
#include "app/handler_guards.h"

namespace permscope::app {

void Form1::Drive1_Change() {
    // A volume that cannot be opened is refused by the directory list; nothing else happens. The
    // read itself comes from the directory list's Change.
    skip_on_failure([&] { Dir1->setPath(Drive1->mount_point()); });
}

void Form1::Dir1_Change() {
    txtPath->setText(Dir1->path());
    find_dir_rights(Dir1->path().toStdString());
}

void Form1::Dir1_Click() {
    // The path box names the selected entry, but the read is of the folder the list has open.
    txtPath->setText(Dir1->selected_path());
    find_dir_rights(Dir1->path().toStdString());
}

void Form1::txtPath_KeyDown(int key_code, Qt::KeyboardModifiers shift) {
    (void)shift;  // Enter acts alike with Shift, Ctrl or Alt held
    if (key_code != Qt::Key_Return && key_code != Qt::Key_Enter)
        return;
    // The typed text is read first, exactly as typed; only then does the directory list take it
    // (a refusal is ignored, the text stays in the box).
    skip_on_failure([&] { find_dir_rights(txtPath->text().toStdString()); });
    skip_on_failure([&] { Dir1->setPath(txtPath->text()); });
}

}  // namespace permscope::app

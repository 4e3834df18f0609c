// Permscope: Form1 is the start object. It is built, runs its start-up sequence and then the
// window's events drive everything until the close label ends the program.

#include <QApplication>

#include "app/form1.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Permscope"));
    permscope::app::Form1 form(permscope::app::make_linux_services());
    form.Load();
    // A close during start-up (the first read lets pending events run) happens before the event
    // loop exists to end; without this the program would go on without a window.
    if (!form.isVisible())
        return 0;
    return QApplication::exec();
}

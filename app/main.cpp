// Permscope: Form1 is the start object. It is built, runs its start-up sequence and then the
// window's events drive everything until the close label ends the program.

#include <QApplication>
#include <cstdio>

#include "app/form1.h"
#include "platform/domain_discovery.h"

namespace {

// Qt's window-system plugins abort the process, with a text about plugins, when there is no
// display to connect to; the user is told plainly what is missing instead. Platforms that draw
// without a display server (offscreen, vnc, linuxfb ...) need neither variable.
bool display_found() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!display_found()) {
        std::fputs("permscope: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
                   stderr);
        return 1;
    }
    permscope::platform::limit_library_configuration();
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

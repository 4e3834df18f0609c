// The program that the window-system tests start on a real display server: a backdrop in one
// plain colour over the whole screen, and Permscope's window above it (the program's own
// services, started in the current folder). Once both are painted, with the hover picture shown,
// it writes the window's own rendering (the key colour still in it) to the file named by its
// argument and prints "ready"; then a line "press <window> <x> <y>" for every mouse press that
// reaches one of its windows, until it is stopped.
//
//   colour_key_probe RENDERING.png

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/form1.h"

namespace {

using permscope::app::Form1;

// Dark green: no control of the window shows it.
const QColor kBackdrop(0, 128, 0);

// The close label's hover picture, read from beside the program: with a block of key-coloured
// pixels, which must turn see-through when the picture appears.
bool write_hover_picture() {
    QImage picture(57, 33, QImage::Format_RGB32);
    picture.fill(QColor(200, 200, 200));
    for (int y = 8; y < 24; ++y)
        for (int x = 20; x < 40; ++x)
            picture.setPixel(x, y, qRgb(255, 0, 255));
    QSaveFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/btnende.jpg"));
    return file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit();
}

void wait(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class PressReporter : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseButtonPress && widget != nullptr) {
            const QPointF at = static_cast<QMouseEvent*>(event)->globalPosition();
            std::printf("press %s %d %d\n", qPrintable(widget->window()->objectName()),
                        qRound(at.x()), qRound(at.y()));
            std::fflush(stdout);
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2 || !write_hover_picture()) {
        std::fprintf(stderr, "usage: colour_key_probe RENDERING.png (beside a writable folder)\n");
        return 2;
    }
    PressReporter reporter;
    application.installEventFilter(&reporter);

    QWidget backdrop(nullptr, Qt::Window | Qt::FramelessWindowHint);
    backdrop.setObjectName(QStringLiteral("Backdrop"));
    QPalette plain = backdrop.palette();
    plain.setColor(QPalette::Window, kBackdrop);
    backdrop.setPalette(plain);
    backdrop.setAutoFillBackground(true);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    wait(300);

    Form1 form(permscope::app::make_linux_services());
    form.Load();
    // The unreachable directory opens the problem box; it goes again, and the window repaints.
    if (auto* box =
            form.findChild<QMessageBox*>(QLatin1String(permscope::app::kProblemMessageName)))
        box->close();
    QMouseEvent hover(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.findChild<QWidget*>(QStringLiteral("cmdEnde")), &hover);
    wait(1500);
    if (!form.grab().toImage().save(QString::fromLocal8Bit(argv[1]), "PNG"))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    // A test that dies leaves no program behind for long.
    QTimer::singleShot(120000, &application, &QCoreApplication::quit);
    return application.exec();
}

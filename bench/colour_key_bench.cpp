// Prints what the colour key costs the window: the look at every painted pixel (a whole repaint
// of the window, and the hover picture's repaint at each mouse move over the close label), and
// the rebuild of the window's mask when the set of key pixels changes. Runs on any Qt platform;
// QT_QPA_PLATFORM=offscreen needs no display. A benchmark, not a test.
//
//     colour_key_bench [rounds] [--no-key]
//
// With --no-key the window runs without its colour key, to time the same rounds against.

#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QMouseEvent>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/mtrans.h"

namespace {

// The median of rounds runs of step, in microseconds.
double median_us(int rounds, const std::function<void()>& step) {
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        step();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const int rounds = argc > 1 && argv[1][0] != '-' ? std::atoi(argv[1]) : 500;
    const bool with_key = !(argc > 1 && std::strcmp(argv[argc - 1], "--no-key") == 0);
    // A start folder of its own and a directory that refuses at once: the window's first read is
    // quick, and its problem box is closed again.
    const QString start = QDir::tempPath() + QStringLiteral("/permscope-colour-key-bench");
    QDir().mkpath(start);
    QDir::setCurrent(start);
    setenv("LDAPURI", "ldap://127.0.0.1:1", 1);
    setenv("KRB5_CONFIG", "/dev/null", 1);

    permscope::app::Form1 form(permscope::app::make_linux_services());
    form.Load();
    if (auto* box =
            form.findChild<QMessageBox*>(QLatin1String(permscope::app::kProblemMessageName)))
        box->close();
    if (!with_key)
        form.findChild<QWidget*>(QStringLiteral("ColourKey"))->hide();
    QApplication::processEvents();

    QWidget* close_label = form.findChild<QWidget*>(QStringLiteral("cmdEnde"));
    const double repaint = median_us(rounds, [&] { form.repaint(); });
    const double hover = median_us(rounds, [&] {
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(close_label, &move);
        QApplication::processEvents();
    });

    // The colour key's own work, on the window's rendering.
    QImage rendering = form.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage untouched = rendering;
    permscope::app::KeyColourMap map(form.size(), qRgb(255, 0, 255));
    const double look = median_us(rounds, [&] {
        rendering = untouched;
        rendering.detach();
        map.take(rendering, form.rect(), QPoint(), 1.0);
    });
    const double copy = median_us(rounds, [&] {
        rendering = untouched;
        rendering.detach();
    });
    const double rebuild = median_us(rounds, [&] { (void)map.opaque_region(); });

    std::printf("window %dx%d, %d rounds, colour key %s\n", form.width(), form.height(), rounds,
                with_key ? "on" : "off");
    std::printf("whole repaint      %8.1f us (median)\n", repaint);
    std::printf("hover (close label)%8.1f us (median, picture read from disk and repainted)\n",
                hover);
    std::printf("look at all pixels %8.1f us (median, alpha cleared, key pixels recorded)\n",
                look - copy);
    std::printf("mask rebuild       %8.1f us (median, only when the key pixels change)\n", rebuild);
    return 0;
}

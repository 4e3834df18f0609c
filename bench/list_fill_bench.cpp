// Prints how long the window's list view takes to show a read's rows: 100,000 user rows (or the
// count given) are appended inside a batch, as a folder read appends them, and the time from the
// batch's end until the view has painted is measured. A benchmark, not a test.
//
//     app_list_fill_bench [rows]

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTreeView>
#include <cstdio>
#include <string>

#include "app/result_list_model.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const long rows = argc > 1 ? std::stol(argv[1]) : 100000;

    permscope::ResultList users;
    permscope::app::ResultListModel model(users, {"Name", "Group", "Rights"});
    QTreeView view;
    view.setModel(&model);
    view.setUniformRowHeights(true);
    view.setRootIsDecorated(false);
    view.resize(409, 225);
    view.show();
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    model.begin_batch();
    users.clear();
    for (long i = 0; i < rows; ++i) {
        const auto position = users.append("user" + std::to_string(i));
        users.append_sub_item(position, "Gruppe " + std::to_string(i % 1000));
        users.append_sub_item(position, "Lesen, Ausführen");
    }
    const qint64 append_ms = timer.restart();
    model.end_batch();
    view.repaint();
    QApplication::processEvents();
    const qint64 show_ms = timer.elapsed();

    std::printf("rows=%ld append_ms=%lld show_after_read_ms=%lld shown_rows=%d\n", rows,
                static_cast<long long>(append_ms), static_cast<long long>(show_ms),
                model.rowCount());
    return 0;
}

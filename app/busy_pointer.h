#pragma once
// The whole application shows the busy pointer while one of these lives. Nested ones stack, so a
// read that runs inside another read keeps the pointer busy until the outer one ends.

#include <QApplication>
#include <QCursor>

namespace permscope::app {

class BusyPointer {
  public:
    BusyPointer() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace permscope::app

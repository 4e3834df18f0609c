#pragma once
// How the window's handlers run: under continue-on-error, and with the busy pointer while one
// works.

#include <QApplication>
#include <QCursor>
#include <utility>

namespace permscope::app {

// Continue-on-error for the window's handlers: a statement that fails is skipped and the next one
// runs. Nothing is shown or logged; the failure shows only as a value that did not change.

template <typename Statement>
void skip_on_failure(Statement&& statement) noexcept {
    try {
        std::forward<Statement>(statement)();
    } catch (...) {
    }
}

// The whole application shows the busy pointer while one of these lives. Nested ones stack, so a
// read that runs inside another read keeps the pointer busy until the outer one ends.

class BusyPointer {
  public:
    BusyPointer() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace permscope::app

#pragma once
// Continue-on-error for the window's handlers: a statement that fails is skipped and the next one
// runs. Nothing is shown or logged; the failure shows only as a value that did not change.

#include <utility>

namespace permscope::app {

template <typename Statement>
void skip_on_failure(Statement&& statement) noexcept {
    try {
        std::forward<Statement>(statement)();
    } catch (...) {
    }
}

}  // namespace permscope::app

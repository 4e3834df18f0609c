#pragma once
// Tells the user that something went wrong in a way the lists alone cannot show (a directory
// that stopped answering, an export that could not be written). The message box belongs to the
// window and does not block it: the handler that reports the problem runs to its end, and a
// later problem replaces the text of a box that is still open instead of stacking a second one.

#include <QString>

class QMessageBox;
class QWidget;

namespace permscope::app {

// The object name of the message box, for assistive technology and tests.
inline constexpr const char* kProblemMessageName = "ProblemMessage";

// Shows text in the window's message box, opening it if it is not open; returns the box.
QMessageBox* show_problem(QWidget& window, const QString& text);

}  // namespace permscope::app

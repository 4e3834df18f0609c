#include "app/problem_message.h"

#include <QMessageBox>
#include <QWidget>

namespace permscope::app {

QMessageBox* show_problem(QWidget& window, const QString& text) {
    auto* box = window.findChild<QMessageBox*>(QLatin1String(kProblemMessageName),
                                               Qt::FindDirectChildrenOnly);
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Permscope"), QString(),
                              QMessageBox::Ok, &window);
        box->setObjectName(QLatin1String(kProblemMessageName));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
    }
    box->setText(text);
    box->setAccessibleName(text);
    box->show();
    box->raise();
    return box;
}

}  // namespace permscope::app

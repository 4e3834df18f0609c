#include "app/named_combo_box.h"

#include <QAccessibleWidget>

namespace permscope::app {

namespace {

class NamedComboBoxAccessible : public QAccessibleWidget {
  public:
    explicit NamedComboBoxAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override {
        const auto* combo = static_cast<const QComboBox*>(widget());
        if (kind == QAccessible::Name)
            return combo->accessibleName();
        if (kind == QAccessible::Value)
            return combo->currentText();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* named_combo_box_accessible(const QString&, QObject* object) {
    if (auto* combo = qobject_cast<NamedComboBox*>(object))
        return new NamedComboBoxAccessible(combo);
    return nullptr;
}

}  // namespace

NamedComboBox::NamedComboBox(QWidget* parent) : QComboBox(parent) {
    static const bool factory_installed = [] {
        QAccessible::installFactory(named_combo_box_accessible);
        return true;
    }();
    (void)factory_installed;
}

}  // namespace permscope::app

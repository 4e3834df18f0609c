#include "app/controls.h"

#include <QAccessibleWidget>

namespace permscope::app {

QStringList font_families(const QString& design_family) {
    // Liberation Sans has Arial's metrics, so texts keep the width the layout was made for.
    if (design_family == QLatin1String("Arial"))
        return {design_family, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
    // Pristina is a calligraphic script; Z003 (URW's Zapf Chancery) is the nearest free one.
    if (design_family == QLatin1String("Pristina"))
        return {design_family, QStringLiteral("Z003"), QStringLiteral("URW Chancery L"),
                QStringLiteral("Liberation Serif")};
    if (design_family == QLatin1String("MS Sans Serif"))
        return {design_family, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
    return {design_family};
}

QFont design_font(const QString& design_family, double point_size, bool bold, bool italic) {
    QFont font;
    font.setFamilies(font_families(design_family));
    font.setPointSizeF(point_size);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

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

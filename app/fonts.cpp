#include "app/fonts.h"

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

}  // namespace permscope::app

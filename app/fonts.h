#pragma once
// The window's fonts by their design names, each with the families that stand in for it on a
// Debian desktop where the Windows font is not installed.

#include <QFont>
#include <QString>
#include <QStringList>

namespace permscope::app {

// The family list for a design font: the design name first, then its stand-ins. Unknown names
// keep only themselves.
QStringList font_families(const QString& design_family);

QFont design_font(const QString& design_family, double point_size, bool bold = false,
                  bool italic = false);

}  // namespace permscope::app

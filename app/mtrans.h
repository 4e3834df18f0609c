#pragma once
// MTrans: the window's colour-key transparency. Every pixel of the window that shows exactly the
// key colour is cut out of the window: the desktop behind shows through, and mouse input there
// goes to whatever lies behind. The cut-out is a window mask built from the window's own
// rendering, so it follows the background, pictures and controls alike.

#include <QColor>
#include <QPalette>
#include <QRegion>
#include <QRgb>
#include <cstdint>
#include <optional>

class QImage;
class QWidget;

namespace permscope::app {

// A colour as the window's colour properties hold it: 0x00BBGGRR for a red-green-blue value, or
// 0x80000000 + index for one of the classic system colours. The system colours come from the
// palette role of the same meaning. An index that names no system colour gives no colour.
std::optional<QColor> translate_colour(std::int32_t colour, const QPalette& palette);

// The pixels of the rendering that are not exactly the key colour.
QRegion opaque_region(const QImage& rendering, QRgb key);

// Makes the key colour of the window transparent from now on (the mask is built at once and
// again whenever refresh_colour_key is called). A system colour is used as its translated value;
// one that cannot be translated leaves the window opaque.
void Color_transparent(QWidget& window, std::int32_t colour);

// Rebuilds the window's mask from its current rendering; does nothing before Color_transparent.
void refresh_colour_key(QWidget& window);

}  // namespace permscope::app

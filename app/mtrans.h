#pragma once
// MTrans: the window's colour-key transparency. Every pixel of the window that shows exactly the
// key colour is drawn fully transparent and lets mouse input through to whatever lies behind.
// The window's own painting is watched as it reaches the screen: key-coloured pixels get alpha 0
// (what Wayland and compositing X11 desktops honour), and the window's mask (the X11 shape, the
// Wayland input region) leaves them out; it follows every change of what the window shows.

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QRegion>
#include <QRgb>
#include <cstdint>
#include <optional>

class QWidget;

namespace permscope::app {

// A colour as the window's colour properties hold it: 0x00BBGGRR for a red-green-blue value, or
// 0x80000000 + index for one of the classic system colours. The system colours come from the
// palette role of the same meaning. An index that names no system colour gives no colour.
std::optional<QColor> translate_colour(std::int32_t colour, const QPalette& palette);

// Which pixels of a window of a given size show the key colour, as far as its painting has been
// looked at. A pixel that is already fully transparent counts as a key pixel: it is see-through
// either way.
class KeyColourMap {
  public:
    KeyColourMap(QSize size, QRgb key);

    // Looks at the pixels of painted that show the window's area (window coordinates; window
    // point p lies at device_origin + p * scale in painted). Where painted has an alpha channel,
    // key pixels become fully transparent. True when the set of key pixels changed.
    bool take(QImage& painted, const QRect& area, QPoint device_origin, qreal scale);
    // The window's pixels that are not key pixels; one pixel when none is left, since an empty
    // mask would mean no mask at all.
    QRegion opaque_region() const;

    QSize size() const { return opaque_.size(); }
    QRgb key() const { return key_; }

  private:
    bool take_32bit(QImage& painted, const QRect& area, QPoint device_origin);
    bool record(int x, int y, bool is_key);

    QRgb key_;       // red, green and blue; no alpha
    QImage opaque_;  // one bit a pixel: 1 where the window is not see-through
};

// Prepares a window that has not been shown yet for a colour key: it gets an alpha channel, so
// that key pixels can be drawn fully transparent. The window paints its whole background itself.
void allow_colour_key(QWidget& window);

// Makes the key colour of the window transparent from now on. A system colour is used as its
// translated value; one that cannot be translated leaves the window opaque.
void Color_transparent(QWidget& window, std::int32_t colour);

}  // namespace permscope::app

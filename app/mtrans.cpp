#include "app/mtrans.h"

#include <QBackingStore>
#include <QBitmap>
#include <QEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>
#include <QtMath>
#include <array>

namespace permscope::app {

namespace {

struct SystemColour {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The classic system colour indices (COLOR_SCROLLBAR = 0 … COLOR_MENUBAR = 30) and the palette
// role that carries the same meaning. Index 25 was never assigned.
std::optional<SystemColour> system_colour(unsigned index) {
    using P = QPalette;
    static const std::array<std::optional<SystemColour>, 31> table = {{
        SystemColour{P::Active, P::Button},             // 0 scroll bar
        SystemColour{P::Active, P::Window},             // 1 desktop background
        SystemColour{P::Active, P::Highlight},          // 2 active caption
        SystemColour{P::Inactive, P::Highlight},        // 3 inactive caption
        SystemColour{P::Active, P::Window},             // 4 menu
        SystemColour{P::Active, P::Base},               // 5 window
        SystemColour{P::Active, P::Shadow},             // 6 window frame
        SystemColour{P::Active, P::WindowText},         // 7 menu text
        SystemColour{P::Active, P::Text},               // 8 window text
        SystemColour{P::Active, P::HighlightedText},    // 9 caption text
        SystemColour{P::Active, P::Window},             // 10 active border
        SystemColour{P::Inactive, P::Window},           // 11 inactive border
        SystemColour{P::Active, P::Dark},               // 12 application workspace
        SystemColour{P::Active, P::Highlight},          // 13 highlight
        SystemColour{P::Active, P::HighlightedText},    // 14 highlighted text
        SystemColour{P::Active, P::Button},             // 15 button face
        SystemColour{P::Active, P::Dark},               // 16 button shadow
        SystemColour{P::Disabled, P::Text},             // 17 grey text
        SystemColour{P::Active, P::ButtonText},         // 18 button text
        SystemColour{P::Inactive, P::HighlightedText},  // 19 inactive caption text
        SystemColour{P::Active, P::Light},              // 20 button highlight
        SystemColour{P::Active, P::Shadow},             // 21 3D dark shadow
        SystemColour{P::Active, P::Midlight},           // 22 3D light
        SystemColour{P::Active, P::ToolTipText},        // 23 tool tip text
        SystemColour{P::Active, P::ToolTipBase},        // 24 tool tip background
        std::nullopt,                                   // 25 unassigned
        SystemColour{P::Active, P::Link},               // 26 hot-tracked item
        SystemColour{P::Active, P::Highlight},          // 27 active caption gradient
        SystemColour{P::Inactive, P::Highlight},        // 28 inactive caption gradient
        SystemColour{P::Active, P::Highlight},          // 29 menu highlight
        SystemColour{P::Active, P::Window},             // 30 menu bar
    }};
    if (index >= table.size())
        return std::nullopt;
    return table[index];
}

}  // namespace

std::optional<QColor> translate_colour(std::int32_t colour, const QPalette& palette) {
    const auto value = static_cast<std::uint32_t>(colour);
    if (colour < 0) {
        // Only 0x80 in the top byte marks a system colour; any other negative value is invalid.
        if ((value & 0xFF000000u) != 0x80000000u)
            return std::nullopt;
        const auto entry = system_colour(value & 0x00FFFFFFu);
        if (!entry)
            return std::nullopt;
        return palette.color(entry->group, entry->role);
    }
    return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                  static_cast<int>((value >> 16) & 0xFFu));
}

KeyColourMap::KeyColourMap(QSize size, QRgb key)
    : key_(key & 0xFFFFFFu), opaque_(size, QImage::Format_MonoLSB) {
    // Index 1 is Qt::color1, the pixels a region made from the bitmap holds.
    opaque_.setColor(0, qRgb(255, 255, 255));
    opaque_.setColor(1, qRgb(0, 0, 0));
    opaque_.fill(1);
}

namespace {

bool has_32bit_pixels(const QImage& image) {
    const QImage::Format format = image.format();
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

}  // namespace

bool KeyColourMap::take(QImage& painted, const QRect& area, QPoint device_origin, qreal scale) {
    const QRect inside = area & QRect(QPoint(), size());
    if (inside.isEmpty() || painted.isNull())
        return false;
    if (scale == 1.0 && has_32bit_pixels(painted))
        return take_32bit(painted, inside, device_origin);
    // Any other format or scale: each window pixel is judged by the first device pixel it
    // covers, and its whole block of device pixels follows.
    const bool alpha = painted.hasAlphaChannel();
    bool changed = false;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRect block =
                QRect(QPoint(qFloor(x * scale), qFloor(y * scale)),
                      QPoint(qCeil((x + 1) * scale) - 1, qCeil((y + 1) * scale) - 1))
                    .translated(device_origin) &
                painted.rect();
            if (block.isEmpty())
                continue;
            const QRgb pixel = painted.pixel(block.topLeft());
            const bool is_key = (alpha && qAlpha(pixel) == 0) ||
                                (qAlpha(pixel) == 255 && (pixel & 0xFFFFFFu) == key_);
            if (is_key && alpha) {
                for (int dy = block.top(); dy <= block.bottom(); ++dy)
                    for (int dx = block.left(); dx <= block.right(); ++dx)
                        painted.setPixel(dx, dy, 0);
            }
            changed |= record(x, y, is_key);
        }
    }
    return changed;
}

bool KeyColourMap::take_32bit(QImage& painted, const QRect& area, QPoint device_origin) {
    const QRect device = area.translated(device_origin) & painted.rect();
    if (device.isEmpty())
        return false;
    const bool alpha = painted.hasAlphaChannel();
    const QRgb opaque_key = key_ | 0xFF000000u;  // RGB32 pixels carry 0xFF as their top byte
    // One detach at most, before any pixel is written: the image is the window's own buffer.
    uchar* const bits = painted.bits();
    const qsizetype stride = painted.bytesPerLine();
    bool changed = false;
    for (int y = device.top(); y <= device.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
        uchar* const opaque_line = opaque_.scanLine(y - device_origin.y());
        for (int x = device.left(); x <= device.right(); ++x) {
            QRgb& pixel = line[x];
            const bool is_key = pixel == opaque_key || (alpha && qAlpha(pixel) == 0);
            if (is_key && alpha)
                pixel = 0;
            const int wx = x - device_origin.x();
            uchar& byte = opaque_line[wx >> 3];
            const auto bit = static_cast<uchar>(1u << (wx & 7));
            const bool was_opaque = (byte & bit) != 0;
            if (was_opaque == is_key) {
                byte = static_cast<uchar>(byte ^ bit);
                changed = true;
            }
        }
    }
    return changed;
}

bool KeyColourMap::record(int x, int y, bool is_key) {
    uchar& byte = opaque_.scanLine(y)[x >> 3];
    const auto bit = static_cast<uchar>(1u << (x & 7));
    if (((byte & bit) != 0) != is_key)
        return false;
    byte = static_cast<uchar>(byte ^ bit);
    return true;
}

QRegion KeyColourMap::opaque_region() const {
    QRegion opaque(QBitmap::fromImage(opaque_));
    if (opaque.isEmpty())
        opaque = QRegion(0, 0, 1, 1);
    return opaque;
}

namespace {

constexpr const char* kOverlayName = "ColourKey";

// A see-through child over the whole window, kept above every control. Whenever any part of the
// window is painted it is painted last, so it sees the window's pixels as they go to the screen:
// it clears the alpha of key pixels there and keeps the window's mask in step with them.
class ColourKeyOverlay : public QWidget {
  public:
    ColourKeyOverlay(QWidget& window, QRgb key) : QWidget(&window), map_(window.size(), key) {
        setObjectName(QLatin1String(kOverlayName));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        // It shows nothing of its own; the window's colour must not look like its background.
        QPalette clear = palette();
        clear.setColor(QPalette::Window, Qt::transparent);
        setPalette(clear);
        setGeometry(window.rect());
        window.installEventFilter(this);
        show();
        raise();
    }

    // A new key: every pixel is looked at again.
    void set_key(QRgb key) {
        map_ = KeyColourMap(size(), key);
        look_at_everything();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != parentWidget())
            return false;
        if (event->type() == QEvent::ChildAdded)
            raise();  // a control made later would otherwise cover it
        else if (event->type() == QEvent::Resize) {
            setGeometry(parentWidget()->rect());
            map_ = KeyColourMap(size(), map_.key());
            look_at_everything();
        }
        return false;
    }

    void paintEvent(QPaintEvent* event) override {
        QBackingStore* store = window()->backingStore();
        QPaintDevice* on_screen = store ? store->paintDevice() : nullptr;
        QPainter painter(this);
        // Only the window's own buffer: a rendering into a picture (grab, render) stays as it is.
        if (on_screen == nullptr || on_screen->devType() != QInternal::Image ||
            painter.paintEngine() == nullptr || painter.paintEngine()->paintDevice() != on_screen)
            return;
        const QTransform to_device = painter.deviceTransform();
        painter.end();
        auto& painted = *static_cast<QImage*>(on_screen);
        const QPoint origin = to_device.map(QPointF(0, 0)).toPoint();
        bool changed = false;
        for (const QRect& area : event->region())
            changed |= map_.take(painted, area, origin, to_device.m11());
        if (changed)
            apply_mask();
    }

  private:
    void look_at_everything() {
        if (parentWidget()->isVisible())
            parentWidget()->repaint();
        else
            parentWidget()->update();
    }

    // Set before this frame reaches the screen, so that a new key pixel is never shown opaque.
    void apply_mask() {
        if (QWindow* handle = window()->windowHandle())
            handle->setMask(map_.opaque_region());
    }

    KeyColourMap map_;
};

}  // namespace

void allow_colour_key(QWidget& window) {
    window.setAttribute(Qt::WA_TranslucentBackground);
}

void Color_transparent(QWidget& window, std::int32_t colour) {
    const std::optional<QColor> key = translate_colour(colour, window.palette());
    if (!key)
        return;
    auto* overlay = dynamic_cast<ColourKeyOverlay*>(
        window.findChild<QWidget*>(QLatin1String(kOverlayName), Qt::FindDirectChildrenOnly));
    if (overlay == nullptr)
        overlay = new ColourKeyOverlay(window, key->rgb());
    overlay->set_key(key->rgb());
}

}  // namespace permscope::app

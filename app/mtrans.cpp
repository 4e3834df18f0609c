#include "app/mtrans.h"

#include <QBitmap>
#include <QImage>
#include <QVariant>
#include <QWidget>
#include <array>

namespace permscope::app {

namespace {

constexpr const char* kColourKeyProperty = "permscopeColourKey";

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

QRegion opaque_region(const QImage& rendering, QRgb key) {
    if (rendering.isNull())
        return {};
    const QImage pixels = rendering.convertToFormat(QImage::Format_RGB32);
    // The region of a bitmap is made of its set bits, and the mask marks the pixels that are
    // not the key colour: the key pixels are left out of the region.
    const QImage mask =
        pixels.createMaskFromColor(qRgb(qRed(key), qGreen(key), qBlue(key)), Qt::MaskInColor);
    return QRegion(QBitmap::fromImage(mask));
}

void Color_transparent(QWidget& window, std::int32_t colour) {
    const std::optional<QColor> key = translate_colour(colour, window.palette());
    if (!key)
        return;
    window.setProperty(kColourKeyProperty, *key);
    refresh_colour_key(window);
}

void refresh_colour_key(QWidget& window) {
    const QVariant stored = window.property(kColourKeyProperty);
    if (!stored.isValid())
        return;
    const QColor key = stored.value<QColor>();
    // Render without the old mask, so that pixels cut out before are looked at again.
    window.clearMask();
    QImage rendering(window.size(), QImage::Format_RGB32);
    rendering.fill(key);
    window.render(&rendering, QPoint(), QRegion(),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);
    QRegion opaque = opaque_region(rendering, key.rgb());
    // An empty mask would mean "no mask" to Qt and show the whole window; keep one pixel instead.
    if (opaque.isEmpty())
        opaque = QRegion(0, 0, 1, 1);
    window.setMask(opaque);
}

}  // namespace permscope::app

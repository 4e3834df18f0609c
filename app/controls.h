#pragma once
// The pieces the window's controls are made of: twips turned into pixels, the design's fonts
// with their stand-ins, and a combo box that assistive technology finds by its name.

#include <QComboBox>
#include <QFont>
#include <QString>
#include <QStringList>
#include <cmath>

namespace permscope::app {

// Window geometry is designed in twips; the screen works in pixels. Permscope fixes the ratio at
// 15 twips per pixel (96 dots per inch), so the design's positions land on whole pixels.

inline constexpr int kTwipsPerPixel = 15;

// Whole twips to pixels, rounded to the nearest pixel (250 twips of indentation are 17 pixels).
constexpr int twips_to_pixels(int twips) {
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

// Twips held as single precision (the drag arithmetic) to the nearest pixel.
inline int twips_to_pixels(float twips) {
    return static_cast<int>(std::lround(twips / static_cast<float>(kTwipsPerPixel)));
}

constexpr float pixels_to_twips(double pixels) {
    return static_cast<float>(pixels * kTwipsPerPixel);
}

// The window's fonts by their design names, each with the families that stand in for it on a
// Debian desktop where the Windows font is not installed.

// The family list for a design font: the design name first, then its stand-ins. Unknown names
// keep only themselves.
QStringList font_families(const QString& design_family);

QFont design_font(const QString& design_family, double point_size, bool bold = false,
                  bool italic = false);

// A combo box that assistive technology finds by its accessible name. Qt names a combo box on
// Linux by its current text; this one is named like every other control ("Drive", "Domain") and
// carries its current text as its value.

class NamedComboBox : public QComboBox {
    Q_OBJECT

  public:
    explicit NamedComboBox(QWidget* parent = nullptr);
};

}  // namespace permscope::app

#pragma once
// Window geometry is designed in twips; the screen works in pixels. Permscope fixes the ratio at
// 15 twips per pixel (96 dots per inch), so the design's positions land on whole pixels.

#include <cmath>

namespace permscope::app {

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

}  // namespace permscope::app

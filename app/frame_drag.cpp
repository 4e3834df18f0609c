#include "app/frame_drag.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace permscope::app {

std::int16_t drag_start_coordinate(float twips) {
    // nearbyint rounds in the current mode, which is round-half-to-even unless someone changed it.
    const int saved_mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(static_cast<double>(twips));
    std::fesetround(saved_mode);
    constexpr double lowest = std::numeric_limits<std::int16_t>::min();
    constexpr double highest = std::numeric_limits<std::int16_t>::max();
    if (std::isnan(rounded))
        return 0;
    if (rounded < lowest)
        return std::numeric_limits<std::int16_t>::min();
    if (rounded > highest)
        return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(rounded);
}

namespace {

// One axis: follow the mouse, snap to the near edge, then to the far edge. The far-edge test runs
// last, so a window larger than the screen less the snap distance ends at screen - window.
float snapped_axis(float window_position, float mouse, std::int16_t start, float window_size,
                   float screen_size) {
    float position = window_position + mouse - static_cast<float>(start);
    if (position < kSnapDistanceTwips)
        position = 0.0f;
    if (position > screen_size - kSnapDistanceTwips - window_size)
        position = screen_size - window_size;
    return position;
}

}  // namespace

TwipPoint dragged_window_position(const DragGeometry& geometry, DragStart start, float mouse_x,
                                  float mouse_y) {
    return TwipPoint{
        snapped_axis(geometry.window_left, mouse_x, start.x, geometry.window_width,
                     geometry.screen_width),
        snapped_axis(geometry.window_top, mouse_y, start.y, geometry.window_height,
                     geometry.screen_height),
    };
}

}  // namespace permscope::app

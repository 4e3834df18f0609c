#pragma once
// The arithmetic of the title-strip drag: where the borderless window goes when the mouse moves
// while a button is held on the title strip. Everything is in twips, in single precision, as the
// window's coordinate scale gives it; no Qt here, so the edge cases can be pinned exactly.

#include <cstdint>

namespace permscope::app {

// Within this distance of a screen edge the window snaps to that edge.
inline constexpr float kSnapDistanceTwips = 350.0f;

// The mouse position inside the title strip when the drag began, in whole twips.
struct DragStart {
    std::int16_t x = 0;
    std::int16_t y = 0;
};

// Rounds a press position to the nearest integer, halves to the even neighbour, and keeps it in
// the 16-bit range that the drag state holds (a press never lies outside it on a real screen).
std::int16_t drag_start_coordinate(float twips);

struct DragGeometry {
    float window_left = 0;  // relative to the primary screen's top-left corner
    float window_top = 0;
    float window_width = 0;
    float window_height = 0;
    float screen_width = 0;
    float screen_height = 0;
};

struct TwipPoint {
    float left = 0;
    float top = 0;
};

// The window's new top-left corner for a mouse at (mouse_x, mouse_y) inside the title strip.
TwipPoint dragged_window_position(const DragGeometry& geometry, DragStart start, float mouse_x,
                                  float mouse_y);

}  // namespace permscope::app

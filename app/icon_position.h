#pragma once

namespace shotstamp {

struct IconPosition {
    int x = 0;
    int y = 0;
};

// Top left of an icon centred in a minimised window's client area: (size - icon + 1) / 2 in
// signed 32-bit arithmetic, the division truncating toward zero, so a 0 x 0 client area with
// a 32 x 32 icon gives (-15, -15).
IconPosition minimisedIconPosition(int clientWidth, int clientHeight, int iconWidth,
                                   int iconHeight);

} // namespace shotstamp

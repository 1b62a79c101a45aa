#pragma once

// Where a dialog first appears. The templates put every dialog at (0, 0) without asking for
// centring, so the back end places it as a desktop framework would: the main window in the
// middle of the work area of the monitor under the mouse pointer, a dialog with an owner over
// that owner, either one moved the least it takes to lie wholly inside the work area. Pure
// arithmetic on screen pixels, shared by the back ends.

#include "platform/dialog_template.h"

namespace shotstamp::ui {

struct PixelPoint {
    int x = 0;
    int y = 0;
};

constexpr int clampedStart(int start, int size, int areaStart, int areaEnd) {
    // Pushed back from the far edge first, then from the near edge, which wins.
    if (start > areaEnd - size) {
        start = areaEnd - size;
    }
    if (start < areaStart) {
        start = areaStart;
    }
    return start;
}

// The top-left corner of a window of outer size width x height centred on `centreOn`, then
// shifted into `workArea`. A window larger than the work area keeps its top-left corner in it,
// so that the caption stays reachable.
constexpr PixelPoint placeCentred(int width, int height, const PixelRect& centreOn,
                                  const PixelRect& workArea) {
    // Halves computed in 64 bits: screen coordinates near the int range must not overflow.
    const auto middle = [](int from, int length, int size) {
        return static_cast<int>(static_cast<long long>(from) +
                                (static_cast<long long>(length) - size) / 2);
    };
    const int x = middle(centreOn.left, centreOn.width(), width);
    const int y = middle(centreOn.top, centreOn.height(), height);
    return PixelPoint{clampedStart(x, width, workArea.left, workArea.right),
                      clampedStart(y, height, workArea.top, workArea.bottom)};
}

} // namespace shotstamp::ui

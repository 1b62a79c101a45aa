#include "app/icon_position.h"

#include <cstdint>

namespace shotstamp {

namespace {
int centre(int space, int size) {
    // Widened so that extreme sizes cannot overflow; the result fits 32 bits again.
    const std::int64_t offset = (static_cast<std::int64_t>(space) - size + 1) / 2;
    return static_cast<int>(offset);
}
} // namespace

IconPosition minimisedIconPosition(int clientWidth, int clientHeight, int iconWidth,
                                   int iconHeight) {
    return IconPosition{centre(clientWidth, iconWidth), centre(clientHeight, iconHeight)};
}

} // namespace shotstamp

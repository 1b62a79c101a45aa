#include "platform/local_zone.h"

#include <ctime>
#include <limits>

namespace shotstamp::platform {

bool localUtcOffsetAt(std::int64_t utcSeconds, int& offsetMinutes) {
    if (utcSeconds < std::numeric_limits<std::time_t>::min() ||
        utcSeconds > std::numeric_limits<std::time_t>::max()) {
        return false;
    }
    const auto moment = static_cast<std::time_t>(utcSeconds);
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr) {
        return false;
    }
    offsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
    return true;
}

} // namespace shotstamp::platform

#include "platform/local_zone.h"

#include <windows.h>

namespace shotstamp::platform {

namespace {

// FILETIME counts 100 ns steps from 1601-01-01; 1970 lies this many seconds later.
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kStepsPerSecond = 10000000LL;

std::int64_t steps(const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                     t.dwLowDateTime);
}

} // namespace

bool localUtcOffsetAt(std::int64_t utcSeconds, int& offsetMinutes) {
    // SYSTEMTIME holds the years 1601 to 30827; keep well inside.
    if (utcSeconds < -kSecondsFrom1601To1970 || utcSeconds > 900000000000LL) {
        return false;
    }
    const auto utcSteps =
        static_cast<std::uint64_t>((utcSeconds + kSecondsFrom1601To1970) * kStepsPerSecond);
    FILETIME utcFile{static_cast<DWORD>(utcSteps & 0xFFFFFFFFU),
                     static_cast<DWORD>(utcSteps >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    FILETIME localFile{};
    // The zone's rules for that year decide, so summer time is the one in force at that moment.
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
        !SystemTimeToFileTime(&local, &localFile)) {
        return false;
    }
    offsetMinutes = static_cast<int>((steps(localFile) - steps(utcFile)) / (kStepsPerSecond * 60));
    return true;
}

} // namespace shotstamp::platform

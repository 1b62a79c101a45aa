#pragma once

// The machine's own time zone, asked of the system: its offset east of UTC, in minutes, at a
// moment given in seconds since 1970-01-01 00:00 UTC, summer time included. False when the
// system cannot say (a moment outside what it can represent).

#include <cstdint>

namespace shotstamp::platform {

bool localUtcOffsetAt(std::int64_t utcSeconds, int& offsetMinutes);

} // namespace shotstamp::platform

#pragma once

// Moments and zones: turning a time known in UTC, or written with its UTC offset, into the zone
// the user asked for. Which offset the machine's own zone has at a moment is a question for the
// system; the caller hands in a function that answers it (tests hand in a fake zone).

#include "metadata/capture_time.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace shotstamp::capture {

// The local zone's offset east of UTC, in minutes, at a moment given in seconds since
// 1970-01-01 00:00 UTC, summer time included. False when the system cannot say.
using LocalOffsetAt = bool (*)(std::int64_t utcSeconds, int& offsetMinutes);

// `--zone local|utc|±HH:MM`.
struct ZoneSetting {
    enum class Kind : std::uint8_t { local, utc, fixed };
    Kind kind = Kind::local;
    int offsetMinutes = 0; // for `fixed`
    // False while the user named no zone: a time written with its own offset then stays as
    // written, and only times known in UTC alone are moved into the local zone.
    bool given = false;
};

// Reads the option's value; `error` says why when it is none of the three forms.
bool parseZone(std::string_view text, ZoneSetting& zone, std::string& error);

// The value's date and time read as if they were UTC, in seconds since 1970 (a day-only value
// counts from noon, so that it lies within half a day of any time on that day).
std::int64_t wallSeconds(const CaptureTime& time);

// The moment itself, when the value says where it was written (UTC or an offset).
bool utcSeconds(const CaptureTime& time, std::int64_t& seconds);

// A number for comparing two values: the moment when known, else the wall time.
std::int64_t comparableSeconds(const CaptureTime& time);

// The value as the zone setting wants it written. A day-only value and one without zone
// information stay as they are; so does one with an offset while no zone was given. False
// (with `out` untouched) when the local zone's offset cannot be had.
bool inZone(const CaptureTime& time, const ZoneSetting& zone, LocalOffsetAt localOffset,
            CaptureTime& out);

// "2023-01-02 10:11:12.123", or "2023-01-02" for a day-only value.
std::string formatTime(const CaptureTime& time);
// "UTC", "+01:00" or "local time, zone unknown".
std::string zoneText(const CaptureTime& time);
// "+HH:MM" / "-HH:MM".
std::string offsetText(int offsetMinutes);

} // namespace shotstamp::capture

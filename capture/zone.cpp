#include "zone.h"

#include <cstdio>

namespace shotstamp::capture {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

} // namespace

bool parseZone(std::string_view text, ZoneSetting& zone, std::string& error) {
    ZoneSetting parsed;
    parsed.given = true;
    if (text == "local") {
        parsed.kind = ZoneSetting::Kind::local;
    } else if (text == "utc" || text == "UTC") {
        parsed.kind = ZoneSetting::Kind::utc;
    } else if (parseUtcOffset(text, parsed.offsetMinutes) && text.size() == 6) {
        parsed.kind = ZoneSetting::Kind::fixed;
    } else {
        error = "--zone takes local, utc or an offset such as +02:00 or -05:30, not \"" +
                std::string(text) + "\"";
        return false;
    }
    zone = parsed;
    return true;
}

std::int64_t wallSeconds(const CaptureTime& time) {
    const std::int64_t days = daysFromCivil(time.year, time.month, time.day);
    if (!time.hasTime) {
        return days * kSecondsPerDay + 12 * 3600;
    }
    return days * kSecondsPerDay + time.hour * 3600 + time.minute * 60 + time.second;
}

bool utcSeconds(const CaptureTime& time, std::int64_t& seconds) {
    if (!time.hasTime || (!time.isUtc && !time.hasOffset)) {
        return false;
    }
    seconds = wallSeconds(time) - (time.isUtc ? 0 : std::int64_t{time.offsetMinutes} * 60);
    return true;
}

std::int64_t comparableSeconds(const CaptureTime& time) {
    std::int64_t seconds = 0;
    return utcSeconds(time, seconds) ? seconds : wallSeconds(time);
}

bool inZone(const CaptureTime& time, const ZoneSetting& zone, LocalOffsetAt localOffset,
            CaptureTime& out) {
    std::int64_t moment = 0;
    if (!utcSeconds(time, moment) || (time.hasOffset && !time.isUtc && !zone.given)) {
        out = time;
        return true;
    }
    int offset = 0;
    switch (zone.kind) {
    case ZoneSetting::Kind::utc:
        break;
    case ZoneSetting::Kind::fixed:
        offset = zone.offsetMinutes;
        break;
    case ZoneSetting::Kind::local:
        if (localOffset == nullptr || !localOffset(moment, offset) || offset < -18 * 60 ||
            offset > 18 * 60) {
            return false;
        }
        break;
    }
    CaptureTime moved = time;
    setSecondsSince1970(moment + std::int64_t{offset} * 60, moved);
    moved.isUtc = zone.kind == ZoneSetting::Kind::utc;
    moved.hasOffset = true;
    moved.offsetMinutes = offset;
    out = moved;
    return true;
}

std::string formatTime(const CaptureTime& time) {
    char text[32];
    if (!time.hasTime) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", time.year, time.month, time.day);
        return text;
    }
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    std::string out = text;
    if (!time.subseconds.empty()) {
        out += '.';
        out += time.subseconds;
    }
    return out;
}

std::string offsetText(int offsetMinutes) {
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", offsetMinutes < 0 ? '-' : '+',
                  magnitude / 60 % 100, magnitude % 60);
    return text;
}

std::string zoneText(const CaptureTime& time) {
    if (time.isUtc) {
        return "UTC";
    }
    if (time.hasOffset) {
        return offsetText(time.offsetMinutes);
    }
    return "local time, zone unknown";
}

} // namespace shotstamp::capture

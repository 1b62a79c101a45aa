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

// Calendar arithmetic in 400-year eras, the Gregorian cycle, so no table or loop is needed.
std::int64_t daysFromCivil(int year, int month, int day) {
    const std::int64_t y = std::int64_t{year} - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
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
    const std::int64_t wall = moment + std::int64_t{offset} * 60;
    // Floor division: moments before 1970 have negative seconds.
    std::int64_t days = wall / kSecondsPerDay;
    std::int64_t secondOfDay = wall % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --days;
    }
    CaptureTime moved = time;
    civilFromDays(days, moved.year, moved.month, moved.day);
    moved.hour = static_cast<int>(secondOfDay / 3600);
    moved.minute = static_cast<int>(secondOfDay / 60 % 60);
    moved.second = static_cast<int>(secondOfDay % 60);
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

#include "clock_shift.h"

#include <cstdio>

namespace shotstamp {

namespace {

// Reads exactly `count` digits at `at`.
bool digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool leapYear(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(std::int64_t y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a civil date, and back, counted in 400-year eras.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

struct DateTime {
    int year, month, day, hour, minute, second;
};

bool readExif(std::string_view t, DateTime& v) {
    return t.size() == 19 && t[4] == ':' && t[7] == ':' && t[10] == ' ' && t[13] == ':' &&
           t[16] == ':' && digits(t, 0, 4, v.year) && digits(t, 5, 2, v.month) &&
           digits(t, 8, 2, v.day) && digits(t, 11, 2, v.hour) && digits(t, 14, 2, v.minute) &&
           digits(t, 17, 2, v.second) && v.year >= 1 && v.month >= 1 && v.month <= 12 &&
           v.day >= 1 && v.day <= daysInMonth(v.year, v.month) && v.hour <= 23 && v.minute <= 59 &&
           v.second <= 59;
}

} // namespace

bool parseClockShift(std::string_view text, std::int64_t& seconds) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    std::int64_t days = 0;
    const std::size_t space = text.find(' ');
    const bool withDays = space != std::string_view::npos;
    if (withDays) {
        if (space == 0 || space > 5) {
            return false;
        }
        int d = 0;
        if (!digits(text, 0, space, d)) {
            return false;
        }
        days = d;
        text.remove_prefix(space + 1);
    }
    // HH:MM or HH:MM:SS (the hours one or two digits), with seconds required after days.
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2) {
        return false;
    }
    int h = 0;
    int m = 0;
    int s = 0;
    if (!digits(text, 0, colon, h) || !digits(text, colon + 1, 2, m) || m > 59) {
        return false;
    }
    std::size_t end = colon + 3;
    if (end < text.size()) {
        if (text[end] != ':' || !digits(text, end + 1, 2, s) || s > 59) {
            return false;
        }
        end += 3;
    } else if (withDays) {
        return false;
    }
    if (end != text.size() || (withDays && h > 23)) {
        return false;
    }
    const std::int64_t total = ((days * 24 + h) * 60 + m) * 60 + s;
    seconds = negative ? -total : total;
    return true;
}

bool isExifDateTime(std::string_view text) {
    DateTime v{};
    return readExif(text, v);
}

bool shiftExifDateTime(std::string_view text, std::int64_t seconds, std::string& shifted) {
    DateTime v{};
    if (!readExif(text, v)) {
        return false;
    }
    constexpr std::int64_t kDay = 86400;
    const std::int64_t total = daysFromCivil(v.year, v.month, v.day) * kDay + v.hour * 3600 +
                               v.minute * 60 + v.second + seconds;
    std::int64_t days = total / kDay;
    std::int64_t rest = total % kDay;
    if (rest < 0) {
        rest += kDay;
        --days;
    }
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    if (year < 1 || year > 9999) {
        return false;
    }
    char out[32];
    std::snprintf(out, sizeof out, "%04d:%02d:%02d %02d:%02d:%02d", static_cast<int>(year), month,
                  day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    shifted = out;
    return true;
}

} // namespace shotstamp

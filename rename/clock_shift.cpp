#include "clock_shift.h"

#include "metadata/capture_time.h"

#include <cstdio>

namespace shotstamp {

namespace {

struct DateTime {
    int year, month, day, hour, minute, second;
};

bool readExif(std::string_view t, DateTime& v) {
    return t.size() == 19 && t[4] == ':' && t[7] == ':' && t[10] == ' ' && t[13] == ':' &&
           t[16] == ':' && readDigits(t, 0, 4, v.year) && readDigits(t, 5, 2, v.month) &&
           readDigits(t, 8, 2, v.day) && readDigits(t, 11, 2, v.hour) &&
           readDigits(t, 14, 2, v.minute) && readDigits(t, 17, 2, v.second) &&
           isRealDateTime(v.year, v.month, v.day, v.hour, v.minute, v.second);
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
        if (!readDigits(text, 0, space, d)) {
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
    if (!readDigits(text, 0, colon, h) || !readDigits(text, colon + 1, 2, m) || m > 59) {
        return false;
    }
    std::size_t end = colon + 3;
    if (end < text.size()) {
        if (text[end] != ':' || !readDigits(text, end + 1, 2, s) || s > 59) {
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

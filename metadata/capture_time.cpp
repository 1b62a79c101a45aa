#include "capture_time.h"

namespace shotstamp {

namespace {

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

} // namespace

bool readDigits(std::string_view text, std::size_t at, std::size_t n, int& value) {
    if (at + n > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

const char* dateFieldName(DateField field) {
    switch (field) {
    case DateField::none:
        return "none";
    case DateField::dateTimeOriginal:
        return "DateTimeOriginal";
    case DateField::dateTimeDigitized:
        return "CreateDate";
    case DateField::dateTimeModified:
        return "ModifyDate";
    case DateField::gpsDateTime:
        return "GPSDateTime";
    case DateField::xmpDateTimeOriginal:
        return "XMP exif:DateTimeOriginal";
    case DateField::xmpDateCreated:
        return "XMP photoshop:DateCreated";
    case DateField::xmpCreateDate:
        return "XMP xmp:CreateDate";
    case DateField::quickTimeCreationDate:
        return "QuickTime CreationDate";
    case DateField::quickTimeYear:
        return "QuickTime \xC2\xA9"
               "day";
    case DateField::movieHeader:
        return "QuickTime movie header";
    case DateField::pngCreationTime:
        return "PNG Creation Time";
    case DateField::fileName:
        return "file name";
    case DateField::fileModified:
        return "file modification time";
    }
    return "unknown";
}

std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

void setSecondsSince1970(std::int64_t seconds, CaptureTime& t) {
    constexpr std::int64_t kDay = 86400;
    std::int64_t days = seconds / kDay;
    std::int64_t secondOfDay = seconds % kDay;
    if (secondOfDay < 0) {
        secondOfDay += kDay;
        --days;
    }
    std::int64_t year = 0;
    civilFromDays(days, year, t.month, t.day);
    t.year = static_cast<int>(year);
    t.hour = static_cast<int>(secondOfDay / 3600);
    t.minute = static_cast<int>(secondOfDay / 60 % 60);
    t.second = static_cast<int>(secondOfDay % 60);
}

bool isRealDateTime(int year, int month, int day, int hour, int minute, int second) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= daysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
           minute <= 59 && second >= 0 && second <= 59;
}

bool parseExifDateTime(std::string_view text, CaptureTime& out) {
    // "YYYY:MM:DD HH:MM:SS": digits at fixed places, separators as written.
    if (text.size() < 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return false;
    }
    for (std::size_t i = 19; i < text.size(); ++i) {
        if (text[i] != '\0' && text[i] != ' ') {
            return false;
        }
    }
    CaptureTime t;
    if (!readDigits(text, 0, 4, t.year) || !readDigits(text, 5, 2, t.month) ||
        !readDigits(text, 8, 2, t.day) || !readDigits(text, 11, 2, t.hour) ||
        !readDigits(text, 14, 2, t.minute) || !readDigits(text, 17, 2, t.second) ||
        !isRealDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second)) {
        return false;
    }
    out.year = t.year;
    out.month = t.month;
    out.day = t.day;
    out.hour = t.hour;
    out.minute = t.minute;
    out.second = t.second;
    out.hasTime = true;
    return true;
}

bool parseUtcOffset(std::string_view text, int& offsetMinutes) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    int hours = 0;
    int minutes = 0;
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':' ||
        !readDigits(text, 1, 2, hours) || !readDigits(text, 4, 2, minutes) || minutes > 59 ||
        hours * 60 + minutes > 18 * 60) {
        return false;
    }
    offsetMinutes = (text[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

} // namespace shotstamp

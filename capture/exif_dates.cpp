#include "exif_dates.h"

#include <cmath>
#include <cstdio>

namespace shotstamp::capture {

namespace {

constexpr std::size_t kMaxSubsecondDigits = 9;

// Digits as written, trailing blanks and zero bytes dropped; empty unless all are digits.
std::string subsecondDigits(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.remove_suffix(1);
    }
    if (text.size() > kMaxSubsecondDigits) {
        return {};
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return {};
        }
    }
    return std::string(text);
}

bool dateCandidate(DateSource source, DateField field, const std::string& date,
                   const std::string& subseconds, const std::string& offset,
                   const std::string& fallbackOffset, Candidate& out) {
    CaptureTime time;
    if (!parseExifDateTime(date, time)) {
        return false;
    }
    time.field = field;
    time.subseconds = subsecondDigits(subseconds);
    time.hasOffset = parseUtcOffset(offset, time.offsetMinutes) ||
                     parseUtcOffset(fallbackOffset, time.offsetMinutes);
    out = Candidate{source, time, precisionOf(time), "EXIF", {}};
    return true;
}

// GPSDateStamp "YYYY:MM:DD" (some writers use hyphens) and GPSTimeStamp as three numbers.
bool gpsCandidate(const ExifDateTexts& texts, Candidate& out) {
    if (!texts.gpsTimeFound || texts.gpsDate.size() < 10) {
        return false;
    }
    const double h = texts.gpsHour;
    const double m = texts.gpsMinute;
    const double s = texts.gpsSecond;
    if (!std::isfinite(h) || !std::isfinite(m) || !std::isfinite(s) || h < 0 || m < 0 || s < 0 ||
        h >= 24 || m >= 60 || s >= 60 || h != std::floor(h) || m != std::floor(m)) {
        return false;
    }
    std::string text = texts.gpsDate.substr(0, 10);
    if (text[4] == '-' && text[7] == '-') {
        text[4] = ':';
        text[7] = ':';
    }
    const double whole = std::floor(s);
    char clock[16];
    std::snprintf(clock, sizeof clock, " %02d:%02d:%02d", static_cast<int>(h), static_cast<int>(m),
                  static_cast<int>(whole));
    CaptureTime time;
    if (!parseExifDateTime(text + clock, time)) {
        return false;
    }
    const long millis = std::lround((s - whole) * 1000.0);
    if (millis > 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, "%03ld", millis > 999 ? 999L : millis);
        time.subseconds = fraction;
    }
    time.isUtc = true;
    time.field = DateField::gpsDateTime;
    out = Candidate{DateSource::gps, time, precisionOf(time), "EXIF GPS", {}};
    return true;
}

} // namespace

std::vector<Candidate> exifCandidates(const ExifDateTexts& texts) {
    std::vector<Candidate> out;
    Candidate c;
    // OffsetTime stands in for OffsetTimeOriginal when only it was written.
    if (dateCandidate(DateSource::exif, DateField::dateTimeOriginal, texts.original,
                      texts.originalSubseconds, texts.originalOffset, texts.modifiedOffset, c)) {
        out.push_back(c);
    }
    if (dateCandidate(DateSource::digitized, DateField::dateTimeDigitized, texts.digitized,
                      texts.digitizedSubseconds, texts.digitizedOffset, {}, c)) {
        out.push_back(c);
    }
    if (gpsCandidate(texts, c)) {
        out.push_back(c);
    }
    if (dateCandidate(DateSource::modified, DateField::dateTimeModified, texts.modified,
                      texts.modifiedSubseconds, texts.modifiedOffset, {}, c)) {
        c.origin = "EXIF, when software last changed the file";
        out.push_back(c);
    }
    return out;
}

} // namespace shotstamp::capture

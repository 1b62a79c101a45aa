#pragma once

// The moment a picture or clip was taken, as plain data, wherever it was read from: an EXIF
// block in any container, a video's own header, a PNG text chunk, an XMP packet or a file name.

#include <cstdint>
#include <string>
#include <string_view>

namespace shotstamp {

// The field a capture time was read from; shown to the user beside every date.
enum class DateField : std::uint8_t {
    none,
    dateTimeOriginal,      // EXIF 0x9003 with 0x9291 and 0x9011 (then 0x9010)
    dateTimeDigitized,     // EXIF 0x9004 with 0x9292 and 0x9012
    dateTimeModified,      // IFD0 0x0132 with 0x9290 and 0x9010: when software last changed it
    gpsDateTime,           // GPS 0x001D and 0x0007, always UTC
    xmpDateTimeOriginal,   // exif:DateTimeOriginal in an XMP packet
    xmpDateCreated,        // photoshop:DateCreated
    xmpCreateDate,         // xmp:CreateDate
    quickTimeCreationDate, // Keys com.apple.quicktime.creationdate, local time with offset
    quickTimeYear,         // the user-data "\xA9day" text
    movieHeader,           // mvhd creation time, UTC unless the camera is known to write local
    pngCreationTime,       // tEXt/iTXt "Creation Time"
    fileName,              // a naming convention of cameras, phones and messengers
    fileModified,          // the file system's modification time
};

// A short name for the field, as `info` and the report print it ("DateTimeOriginal").
const char* dateFieldName(DateField field);

struct CaptureTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::string subseconds; // digits only, as written; empty when unknown
    bool hasTime = true;    // false: only the day is known (nothing invents a time)
    bool hasOffset = false; // the value's UTC offset is known
    int offsetMinutes = 0;  // east of UTC, when hasOffset
    bool isUtc = false;     // the fields hold UTC, not the local time where it was taken
    DateField field = DateField::none;

    bool found() const { return field != DateField::none; }
};

// The date texts of one EXIF block, exactly as written; each is empty when its tag is absent.
// The EXIF parser fills them when asked to; the window's path never asks.
struct ExifDateTexts {
    std::string original;            // 0x9003 DateTimeOriginal
    std::string originalSubseconds;  // 0x9291
    std::string originalOffset;      // 0x9011 OffsetTimeOriginal
    std::string digitized;           // 0x9004 DateTimeDigitized (CreateDate)
    std::string digitizedSubseconds; // 0x9292
    std::string digitizedOffset;     // 0x9012
    std::string modified;            // 0x0132 DateTime in IFD0 (ModifyDate)
    std::string modifiedSubseconds;  // 0x9290
    std::string modifiedOffset;      // 0x9010 OffsetTime
    std::string gpsDate;             // GPS 0x001D "YYYY:MM:DD"
    bool gpsTimeFound = false;       // GPS 0x0007: three rationals, UTC
    double gpsHour = 0;
    double gpsMinute = 0;
    double gpsSecond = 0;
};

// Reads an EXIF date text "YYYY:MM:DD HH:MM:SS" (a NUL or blanks may follow it). False, leaving
// `out` alone, unless every digit place holds a digit and the date and time exist on the
// calendar (no month 13, no 30 February, no hour 24, no second 60).
bool parseExifDateTime(std::string_view text, CaptureTime& out);

// Reads an EXIF offset text "+HH:MM" or "-HH:MM" (OffsetTime*), within ±18 hours.
bool parseUtcOffset(std::string_view text, int& offsetMinutes);

// Reads the `n` decimal digits at `at` of `text` into `value`; false unless all are digits.
bool readDigits(std::string_view text, std::size_t at, std::size_t n, int& value);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back, counted in
// 400-year eras (the calendar's cycle), so no table or loop is needed.
std::int64_t daysFromCivil(std::int64_t year, int month, int day);
void civilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day);

// Sets the date and time fields of `t` to the moment `seconds` after 1970-01-01 00:00:00,
// moments before it included; the other fields stay as they are.
void setSecondsSince1970(std::int64_t seconds, CaptureTime& t);

// True when the date exists on the Gregorian calendar and the time of day is a real one.
bool isRealDateTime(int year, int month, int day, int hour, int minute, int second);

} // namespace shotstamp

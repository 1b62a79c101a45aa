#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace shotstamp {

// Reads a clock correction: "[-]HH:MM", "[-]HH:MM:SS" or "[-]D HH:MM:SS" (days, then a time of
// day). False for anything else; `seconds` is then left alone.
bool parseClockShift(std::string_view text, std::int64_t& seconds);

// Whether the text is a date and time of the EXIF form "YYYY:MM:DD HH:MM:SS" naming a real day.
bool isExifDateTime(std::string_view text);

// Moves an EXIF date and time by `seconds` on the proleptic Gregorian calendar, across days,
// months, years and 29 February. False when the text is not of the EXIF form or the result
// leaves the years 1 to 9999.
bool shiftExifDateTime(std::string_view text, std::int64_t seconds, std::string& shifted);

} // namespace shotstamp

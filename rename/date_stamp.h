#pragma once

#include <string>
#include <string_view>

namespace shotstamp {

// The date stamp of a DateTimeOriginal text: every colon becomes a hyphen; when there were
// exactly four, the last two hyphens are removed, so "2005:12:30 20:57:32" gives
// "2005-12-30 205732".
std::string makeDateStamp(std::string_view dateTimeOriginal);

enum class DateUse {
    usable,
    missing,  // no DateTimeOriginal at all
    unusable, // not a moment of the calendar in a form a name is made from
};

// Whether a picture may be renamed after this date: "YYYY:MM:DD", "YYYY:MM:DD HH:MM" or
// "YYYY:MM:DD HH:MM:SS" (blanks may follow) naming a day that exists and a real time of day.
// Anything else (month 13, 30 February, hour 24, a blank or a letter where a digit belongs, a
// byte no date holds) is unusable: such a picture keeps its name.
DateUse judgeDate(std::string_view dateTimeOriginal, std::string_view stamp);

// True when the stored date field (terminator and padding included) holds more text after a NUL:
// a date cut short by a NUL is no date.
bool dateFieldHasGap(std::string_view field);

// True when `fileName` already is the name `baseName` + ".jpg" or one a counter gave it,
// `baseName` + "-N.jpg" with N from 2 to `counterLimit` written without leading zeros: a rerun
// leaves such a picture as it is instead of numbering it again.
bool carriesStampedName(std::string_view fileName, std::string_view baseName, int counterLimit);

} // namespace shotstamp

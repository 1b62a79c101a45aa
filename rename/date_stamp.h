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
    unusable, // no digit, only zero digits, or a stamp that cannot stand in a file name
};

// Whether a picture may be renamed after this date. A stamp holding a path separator or a
// character the platform refuses in a name keeps the picture where and as it is.
DateUse judgeDate(std::string_view dateTimeOriginal, std::string_view stamp);

} // namespace shotstamp

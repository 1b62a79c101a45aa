#pragma once

// The date step: from everything a file says about its moment (EXIF texts, an XMP packet, its
// name, its modification time) to one chosen date, with the reasons. It uses metadata/ and the
// standard library only: no platform header and no file access, so whoever calls it reads the
// files and asks the system for the local zone, and hands the answers in.

#include "metadata/capture_time.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::capture {

// The sources `--date-from` names, in the order the program documents them.
enum class DateSource : std::uint8_t {
    exif,      // DateTimeOriginal (or a container's own capture date)
    digitized, // CreateDate / DateTimeDigitized (or a video's creation time)
    gps,       // GPS date and time stamps, UTC
    xmp,       // an XMP packet in the file, then a sidecar .xmp
    name,      // a naming convention of cameras, phones and messengers
    modified,  // IFD0 DateTime: when software last changed the file
    mtime,     // the file system's modification time
};

// The option's word for a source ("digitized").
const char* dateSourceName(DateSource source);

// Reads a comma list such as "exif,digitized,name". On failure `error` says why (an empty
// item, an unknown word, a source named twice) and `sources` is left alone.
bool parseDateSources(std::string_view list, std::vector<DateSource>& sources, std::string& error);

// How finely a candidate pins its moment down.
enum class Precision : std::uint8_t { day, minute, second, subsecond };

// "day only", "minute", "second" or "fraction of a second".
const char* precisionName(Precision precision);

// One date a file offered, whether or not it is used.
struct Candidate {
    DateSource source = DateSource::exif;
    CaptureTime time;
    Precision precision = Precision::second;
    std::string origin;  // where: "EXIF", "XMP packet", "sidecar .xmp", a name rule and its meaning
    std::string ignored; // why it was set aside; empty while it is usable
};

// The precision a value's own fields show: day only, a fraction of a second, or seconds.
Precision precisionOf(const CaptureTime& time);

} // namespace shotstamp::capture

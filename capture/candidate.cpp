#include "candidate.h"

#include <algorithm>
#include <array>

namespace shotstamp::capture {

namespace {

constexpr std::array<DateSource, 7> kAllSources = {
    DateSource::exif, DateSource::digitized, DateSource::gps,   DateSource::xmp,
    DateSource::name, DateSource::modified,  DateSource::mtime,
};

} // namespace

const char* dateSourceName(DateSource source) {
    switch (source) {
    case DateSource::exif:
        return "exif";
    case DateSource::digitized:
        return "digitized";
    case DateSource::gps:
        return "gps";
    case DateSource::xmp:
        return "xmp";
    case DateSource::name:
        return "name";
    case DateSource::modified:
        return "modified";
    case DateSource::mtime:
        return "mtime";
    }
    return "unknown";
}

bool parseDateSources(std::string_view list, std::vector<DateSource>& sources, std::string& error) {
    std::vector<DateSource> parsed;
    for (;;) {
        const std::size_t comma = list.find(',');
        const std::string_view word = list.substr(0, comma);
        if (word.empty()) {
            error = "--date-from has an empty source; give a comma list such as exif,name";
            return false;
        }
        const auto known = std::find_if(kAllSources.begin(), kAllSources.end(),
                                        [word](DateSource s) { return word == dateSourceName(s); });
        if (known == kAllSources.end()) {
            error = "--date-from does not know the source \"" + std::string(word) +
                    "\"; the sources are exif, digitized, gps, xmp, name, modified, mtime";
            return false;
        }
        if (std::find(parsed.begin(), parsed.end(), *known) != parsed.end()) {
            error = "--date-from names the source \"" + std::string(word) + "\" twice";
            return false;
        }
        parsed.push_back(*known);
        if (comma == std::string_view::npos) {
            break;
        }
        list.remove_prefix(comma + 1);
    }
    sources = std::move(parsed);
    return true;
}

const char* precisionName(Precision precision) {
    switch (precision) {
    case Precision::day:
        return "day only";
    case Precision::minute:
        return "minute";
    case Precision::second:
        return "second";
    case Precision::subsecond:
        return "fraction of a second";
    }
    return "unknown";
}

Precision precisionOf(const CaptureTime& time) {
    if (!time.hasTime) {
        return Precision::day;
    }
    return time.subseconds.empty() ? Precision::second : Precision::subsecond;
}

} // namespace shotstamp::capture

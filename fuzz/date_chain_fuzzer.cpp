// Feeds the date step what a file can say about its moment, all of it taken from the input: a
// file name, an XMP packet and the EXIF date texts. A broken invariant aborts like a sanitizer
// report: a chosen date that is not on the calendar, a choice without a reason.
#include "capture/date_chain.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The input's next field, up to a NUL byte (or its end).
std::string_view take(std::string_view& rest) {
    const std::size_t end = std::min(rest.find('\0'), rest.size());
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return field;
}

bool utcOffset(std::int64_t, int& minutes) {
    minutes = 60;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace shotstamp;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    capture::DateInputs inputs;
    inputs.fileName = take(rest);
    inputs.exif.original = take(rest);
    inputs.exif.originalOffset = take(rest);
    inputs.exif.digitized = take(rest);
    inputs.exif.modified = take(rest);
    inputs.exif.gpsDate = take(rest);
    inputs.exif.gpsTimeFound = !take(rest).empty();
    inputs.xmpPacket = rest;
    capture::DateRules rules;
    rules.order = {capture::DateSource::gps,       capture::DateSource::xmp,
                   capture::DateSource::name,      capture::DateSource::exif,
                   capture::DateSource::digitized, capture::DateSource::modified};
    rules.localOffset = &utcOffset;
    rules.nowUtc = 1700000000;
    const capture::DateChoice choice =
        capture::chooseDate(capture::gatherCandidates(inputs), rules);
    const CaptureTime& t = choice.value;
    const bool real = isRealDateTime(t.year, t.month, t.day, t.hasTime ? t.hour : 0,
                                     t.hasTime ? t.minute : 0, t.hasTime ? t.second : 0);
    if ((choice.found() && !real) || choice.why.empty()) {
        std::abort();
    }
    capture::disagreements(inputs, rules.nowUtc);
    return 0;
}

// Feeds each input to one container walker (chosen when the target is built) through a
// memory source. A broken invariant aborts like a sanitizer report: the read budget exceeded, a
// date that is not on the calendar, an unexplained failure, an unbounded XMP packet, a TIFF
// block held in part that gives other dates than the whole block (the tiff_raw seeds reach it).
#include "metadata/containers/jxl.h"
#include "metadata/containers/png.h"
#include "metadata/containers/raf.h"
#include "metadata/containers/riff_webp.h"
#include "metadata/containers/tiff_raw.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string datesOf(const shotstamp::ExtractedMetadata& m, bool found) {
    const shotstamp::ExifDateTexts& e = m.exif;
    const shotstamp::CaptureTime& t = m.capture;
    return std::to_string(found) + e.original + '|' + e.originalSubseconds + '|' +
           e.originalOffset + '|' + e.digitized + '|' + e.digitizedSubseconds + '|' +
           e.digitizedOffset + '|' + e.modified + '|' + e.modifiedSubseconds + '|' +
           e.modifiedOffset + '|' + e.gpsDate + '|' + std::to_string(e.gpsTimeFound) +
           std::to_string(e.gpsHour) + std::to_string(e.gpsMinute) + std::to_string(e.gpsSecond) +
           '|' + std::to_string(t.year) + ':' + std::to_string(t.month) + ':' +
           std::to_string(t.day) + ' ' + std::to_string(t.hour) + ':' + std::to_string(t.minute) +
           ':' + std::to_string(t.second) + '.' + t.subseconds + std::to_string(t.hasOffset) +
           std::to_string(t.offsetMinutes) + std::to_string(static_cast<int>(t.field)) + '|' +
           m.message;
}

// The input as a TIFF block held only in part (its first bytes, as many as its last byte says,
// in a buffer of their own so that the sanitizer sees any read beyond them): unless the walk
// says it missed, it gives what the whole block gives.
void checkBlockHeldInPart(const std::uint8_t* data, std::size_t size) {
    if (size < 8 || size > shotstamp::kMaxMetadataBlock) {
        return;
    }
    std::vector<std::uint8_t> whole(data, data + size);
    std::vector<std::uint8_t> head(data, data + size * data[size - 1] / 255);
    shotstamp::ExtractedMetadata fromWhole;
    shotstamp::ExtractedMetadata fromHead;
    const auto n = static_cast<std::uint32_t>(size);
    const bool a = shotstamp::captureFromTiff(whole.data(), n, fromWhole);
    bool missed = false;
    const bool b = shotstamp::captureFromTiffPart(
        head.data(), n, static_cast<std::uint32_t>(head.size()), fromHead, missed);
    if (!missed && datesOf(fromWhole, a) != datesOf(fromHead, b)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkBlockHeldInPart(data, size);
    shotstamp::MemoryRandomSource source(data, size);
    shotstamp::ExtractedMetadata out;
    const bool found = shotstamp::SHOTSTAMP_WALKER(source, out);
    const shotstamp::CaptureTime& t = out.capture;
    if (source.bytesRead() > shotstamp::RandomAccessSource::kReadBudget ||
        (t.found() &&
         !shotstamp::isRealDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second)) ||
        (!t.found() && out.message.empty()) || (t.found() && !found) ||
        out.xmpPacket.size() > shotstamp::kMaxMetadataBlock) {
        std::abort();
    }
    return 0;
}

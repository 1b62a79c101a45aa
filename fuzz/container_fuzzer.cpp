// Feeds each input to one container walker (chosen when the target is built) through a
// memory source. A broken invariant aborts like a sanitizer report: the read budget exceeded, a
// date that is not on the calendar, an unexplained failure, an unbounded XMP packet.
#include "metadata/containers/jxl.h"
#include "metadata/containers/png.h"
#include "metadata/containers/raf.h"
#include "metadata/containers/riff_webp.h"
#include "metadata/containers/tiff_raw.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
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

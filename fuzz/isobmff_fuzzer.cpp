// Feeds each input to the container dispatcher as a whole file. The ISO-BMFF walker is the one
// reached for the seeds; every read must stay inside the buffer (the sanitizers watch that) and
// within the read budget, and the walk must end.
#include "metadata/containers/container.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    shotstamp::MemoryRandomSource source(data, size);
    const shotstamp::ExtractedMetadata out = shotstamp::extractMetadata(source);
    // Leaving the XMP packet unread changes no date (unless its bytes spent the budget).
    shotstamp::MemoryRandomSource again(data, size);
    const shotstamp::ExtractedMetadata noXmp =
        shotstamp::extractMetadata(again, shotstamp::ExtractOptions{.xmpPacket = false});
    const bool sameDates = source.budgetSpent() || (noXmp.capture.found() == out.capture.found() &&
                                                    noXmp.exif.original == out.exif.original);
    if (!sameDates || !noXmp.xmpPacket.empty() || again.bytesRead() > source.bytesRead() ||
        source.bytesRead() > shotstamp::RandomAccessSource::kReadBudget ||
        (out.capture.found() && out.capture.hasOffset &&
         (out.capture.offsetMinutes < -18 * 60 || out.capture.offsetMinutes > 18 * 60))) {
        std::abort();
    }
    return 0;
}

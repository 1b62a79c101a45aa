#pragma once

// The TIFF family (plain TIFF and the RAW files built on it: DNG, CR2, NEF, ARW, ORF, RW2, PEF,
// SRW, ...), and the step every other walker shares: turning a TIFF block into a capture time.

#include "metadata/containers/container.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace shotstamp {

// The largest block (EXIF, XMP, an inflated text or box) any walker holds in memory.
inline constexpr std::size_t kMaxMetadataBlock = std::size_t{1} << 20;

// Reads the directories of a TIFF-based file and the values they point at, wherever in the file
// they lie, and dates it from its Exif directory. The magic may be 42 or one of the RAW
// variants ("IIRO", "IISR", "IIU\0").
bool extractTiffRaw(RandomAccessSource& source, ExtractedMetadata& out);

// Reads `n` bytes at `offset` into `block`; false, with a reason in `out.message`, when they
// are more than kMaxMetadataBlock or the file ends before them.
bool readMetadataBlock(RandomAccessSource& source, std::uint64_t offset, std::uint64_t n,
                       std::vector<std::uint8_t>& block, ExtractedMetadata& out);

// Unsigned integers of either byte order from bytes the caller has checked.
inline std::uint32_t readBig16(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 8) | p[1];
}
inline std::uint32_t readBig32(const std::uint8_t* p) {
    return (readBig16(p) << 16) | readBig16(p + 2);
}
inline std::uint32_t readLittle16(const std::uint8_t* p) {
    return (std::uint32_t{p[1]} << 8) | p[0];
}
inline std::uint32_t readLittle32(const std::uint8_t* p) {
    return (readLittle16(p + 2) << 16) | readLittle16(p);
}

} // namespace shotstamp

#include "raf.h"

#include "tiff_raw.h"

#include <array>
#include <cstring>
#include <vector>

namespace shotstamp {

namespace {

constexpr std::uint64_t kJpegPointer = 84; // offset, then length, both big-endian
constexpr int kMaxSegments = 32;

} // namespace

bool extractRaf(RandomAccessSource& source, ExtractedMetadata& out) {
    out.container = ContainerKind::raf;
    std::array<std::uint8_t, 92> header{};
    if (!source.readExactly(0, header.data(), header.size()) ||
        std::memcmp(header.data(), "FUJIFILMCCD-RAW ", 16) != 0) {
        out.message = "not a Fujifilm RAW header";
        return false;
    }
    const std::uint64_t jpeg = readBig32(&header[kJpegPointer]);
    const std::uint64_t length = readBig32(&header[kJpegPointer + 4]);
    if (jpeg + length > source.size() || length < 4) {
        out.message = "the embedded JPEG lies past the end of the file";
        return false;
    }
    std::array<std::uint8_t, 4> marker{};
    if (!source.readExactly(jpeg, marker.data(), 2) || marker[0] != 0xFF || marker[1] != 0xD8) {
        out.message = "the embedded JPEG has no start-of-image marker";
        return false;
    }
    // Walk the preview's segments up to its scan, reading only their headers and the Exif one.
    std::uint64_t at = jpeg + 2;
    for (int i = 0; i < kMaxSegments && at + 4 <= jpeg + length; ++i) {
        if (!source.readExactly(at, marker.data(), 4) || marker[0] != 0xFF) {
            break;
        }
        const std::uint32_t segment = readBig16(&marker[2]);
        if (marker[1] == 0xDA || marker[1] == 0xD9 || segment < 2 ||
            at + 2 + segment > jpeg + length) {
            break;
        }
        if (marker[1] == 0xE1 && segment >= 8 + 6) {
            std::vector<std::uint8_t> payload;
            if (!readMetadataBlock(source, at + 4, segment - 2, payload, out)) {
                return false;
            }
            if (std::memcmp(payload.data(), "Exif\0\0", 6) == 0) {
                payload.erase(payload.begin(), payload.begin() + 6);
                return captureFromTiff(payload.data(), static_cast<std::uint32_t>(payload.size()),
                                       out);
            }
        }
        at += 2 + segment;
    }
    out.message = "the embedded JPEG has no Exif segment";
    return false;
}

} // namespace shotstamp

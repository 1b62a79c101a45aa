#include "riff_webp.h"

#include "read_window.h"
#include "tiff_raw.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace shotstamp {

namespace {

constexpr int kMaxChunks = 4096;

} // namespace

bool extractWebp(RandomAccessSource& source, ExtractedMetadata& out) {
    out.container = ContainerKind::webp;
    ReadWindow<256> window(source);
    std::array<std::uint8_t, 12> header{};
    if (!window.read(0, header.data(), header.size()) ||
        std::memcmp(header.data(), "RIFF", 4) != 0 || std::memcmp(&header[8], "WEBP", 4) != 0) {
        out.message = "not a RIFF WebP header";
        return false;
    }
    const std::uint64_t declaredEnd = std::uint64_t{readLittle32(&header[4])} + 8;
    const std::uint64_t end = std::min(declaredEnd, source.size());
    if (declaredEnd > source.size()) {
        out.message = "the RIFF size reaches past the end of the file";
    }
    std::uint64_t at = 12;
    std::vector<std::uint8_t> block;
    for (int i = 0; i < kMaxChunks && at + 8 <= end; ++i) {
        std::array<std::uint8_t, 8> chunk{};
        if (!window.read(at, chunk.data(), chunk.size())) {
            break;
        }
        const std::string_view type(reinterpret_cast<const char*>(chunk.data()), 4);
        const std::uint64_t size = readLittle32(&chunk[4]);
        if (at + 8 + size > end) {
            out.message = "a RIFF chunk's size reaches past the end of the file";
            break;
        }
        if (type == "EXIF" && !out.exifFound) {
            if (window.block(at + 8, size, block, out)) {
                if (block.size() >= 6 && std::memcmp(block.data(), "Exif\0\0", 6) == 0) {
                    block.erase(block.begin(), block.begin() + 6);
                }
                captureFromTiff(block.data(), static_cast<std::uint32_t>(block.size()), out);
            }
        } else if (type == "XMP " && out.xmpPacket.empty()) {
            if (window.block(at + 8, size, block, out)) {
                out.xmpPacket.assign(block.begin(), block.end());
            }
        }
        if (out.capture.found()) {
            break; // an XMP packet would only stand in for a missing date
        }
        at += 8 + size + (size & 1U); // odd sizes are padded to an even one
    }
    if (!out.capture.found() && out.message.empty()) {
        out.message = "the WebP file holds no EXIF date";
    }
    return out.exifFound || !out.xmpPacket.empty();
}

} // namespace shotstamp

#pragma once

// The ISO base media file family: HEIF and AVIF pictures, Canon CR3 and the MP4/QuickTime
// videos. The walker (extractIsoBmff, declared with the others in container.h) reads box headers
// only, skips media data without touching it, and loads just the boxes that hold metadata.

#include <cstddef>
#include <cstdint>

namespace shotstamp::isobmff {

// How deep the walk goes below the file's top level; the deepest box it needs (a QuickTime
// value in moov/udta/meta/ilst/item/data) is six levels down.
constexpr int kMaxDepth = 8;
// Boxes looked at inside any one box, and items (HEIF item information and location entries)
// looked at in all.
constexpr int kMaxChildren = 4096;
constexpr std::uint32_t kMaxItems = 1024;
// The largest box loaded whole (item information and location, a QuickTime metadata box, a CR3
// TIFF block) and the largest EXIF or XMP item read.
constexpr std::size_t kMaxLoadedBox = 1U << 20;
constexpr std::size_t kMaxExtents = 64;

} // namespace shotstamp::isobmff

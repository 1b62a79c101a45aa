#pragma once

// The identify and extract steps for every container the command-line tool reads: what a file is,
// from its first bytes, and the metadata blocks it holds. One file per family beside this one
// (jpeg, isobmff, tiff_raw, raf, png, riff_webp, jxl); each walker reads only box or chunk headers
// and the metadata blocks themselves, through a RandomAccessSource and its budget.

#include "metadata/capture_time.h"
#include "metadata/random_access_source.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace shotstamp {

enum class ContainerKind : std::uint8_t {
    unknown,
    jpeg,
    heif, // ISO-BMFF still image: heic, heif, hif
    avif, // ISO-BMFF AV1 still image
    cr3,  // Canon's ISO-BMFF RAW
    tiff, // TIFF and the TIFF-based RAW files (dng, cr2, nef, arw, orf, rw2, pef, ...)
    raf,  // Fujifilm RAW
    png,
    webp,
    jxl,       // JPEG XL, bare code stream or ISO-BMFF-like container
    quickTime, // ISO-BMFF and QuickTime video: mp4, m4v, mov, 3gp, 3g2
};

// What `info` prints for a container ("HEIC", "MP4").
const char* containerName(ContainerKind kind);

// The kind of file from its first bytes (at least 32 of them where the file has them); the
// extension plays no part.
ContainerKind identifyContainer(std::span<const std::uint8_t> head);

// What the extract step found in one file.
struct ExtractedMetadata {
    ContainerKind container = ContainerKind::unknown;
    // The container's capture moment by its own rules (EXIF DateTimeOriginal, a video's
    // creation date, ...); not found() when it holds none.
    CaptureTime capture;
    // The date texts of the first EXIF block found, for the date step's other sources.
    ExifDateTexts exif;
    bool exifFound = false;
    // An XMP packet, when the container holds one (bounded in size).
    std::string xmpPacket;
    // Why nothing usable was found, or the last problem met; empty when there was none.
    std::string message;
};

} // namespace shotstamp

#pragma once

// The identify and extract steps for every container the command-line tool reads: what a file is,
// from its first bytes, and the metadata blocks it holds. One file per family beside this one
// (jpeg, isobmff, tiff_raw, raf, png, riff_webp, jxl); each walker reads only box or chunk headers
// and the metadata blocks themselves, through a RandomAccessSource and its budget.

#include "metadata/capture_time.h"
#include "metadata/picture_record.h"
#include "metadata/random_access_source.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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

// The kind of a file together with the type it shows itself as: a HEIF may be "HEIC" or "HEIF",
// a video "MP4", "MOV", "M4V", "3GP" or "3G2", all from the brands of its file-type box.
struct ContentType {
    ContainerKind kind = ContainerKind::unknown;
    const char* name = "unknown"; // what `info` prints and the report names ("HEIC", "MOV")
    const char* extension = "";   // the lower-case extension a new name takes (".heic")
};
ContentType identifyContent(std::span<const std::uint8_t> head);

// The extension a renamed file takes: the content's own, except for the TIFF family, where the
// file keeps its own extension (lower-cased) when it is one of the TIFF-based RAW ones, as those
// name the camera's format, and ".tif" otherwise. Empty for an unknown content.
std::string contentExtension(const ContentType& type, std::string_view fileName);

// The lower-case extensions (".jpg", ".heic", ...) the command-line tool takes from folders; a
// file with one of them is then checked by its content.
std::span<const std::string_view> supportedExtensions();
// True when the name ends in one of them, in any letter case.
bool hasSupportedExtension(std::string_view fileName);
// The kind of content a name's extension promises; unknown for any other extension.
ContainerKind containerOfExtension(std::string_view fileName);

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
    // The type the file's first bytes show.
    ContentType content;
};

// What the caller will use of a file beyond its capture time.
struct ExtractOptions {
    // The XMP packet: only a date chain that names the xmp source, and `info`, look at it. A HEIF
    // keeps it in an item of its own, often larger than the Exif item, read only when wanted;
    // unwanted, it is left empty for every container.
    bool xmpPacket = true;
};

// Identifies the file and hands it to its family's walker; a file of no known kind gets the
// reason in `message`.
ExtractedMetadata extractMetadata(RandomAccessSource& source, const ExtractOptions& options = {});

// The walkers, one per family. Each fills `out` (not its container or content) and returns true
// when it found a capture time; otherwise `out.message` says why not.
bool extractJpeg(RandomAccessSource& source, ExtractedMetadata& out,
                 const ExtractOptions& options = {});
bool extractIsoBmff(RandomAccessSource& source, ExtractedMetadata& out,
                    const ExtractOptions& options = {}); // heif, avif, cr3, video
bool extractTiffRaw(RandomAccessSource& source, ExtractedMetadata& out);
bool extractRaf(RandomAccessSource& source, ExtractedMetadata& out);
bool extractPng(RandomAccessSource& source, ExtractedMetadata& out);
bool extractWebp(RandomAccessSource& source, ExtractedMetadata& out);
bool extractJxl(RandomAccessSource& source, ExtractedMetadata& out);

// The shared last step of every walker that meets a TIFF block (starting at its byte-order
// mark): runs the EXIF parser over it and, when it holds a valid DateTimeOriginal, sets
// `out.capture` from it with its sub-seconds and offset. The first block read also fills
// `out.exif`. The parser may write into the block (it trims a comment's blanks). True when the
// capture time was set; otherwise `out.message` says why not.
bool captureFromTiff(std::uint8_t* tiff, std::uint32_t size, ExtractedMetadata& out);
// The same for a block of `size` bytes of which only the first `held` are in memory. When the
// dates need bytes beyond them, `missed` is set and `out` left as it was: the caller reads the
// whole block and calls captureFromTiff.
bool captureFromTiffPart(std::uint8_t* tiff, std::uint32_t size, std::uint32_t held,
                         ExtractedMetadata& out, bool& missed);
// The same for the date texts of a block read elsewhere (the JPEG reader's record).
bool captureFromExifTexts(const ExifDateTexts& texts, ExtractedMetadata& out);

// What extractJpeg finds, from a JPEG header the JPEG reader has already read with its date
// texts asked for (`texts`; the XMP packet goes straight into `out.xmpPacket`), so that a JPEG
// is read once. Sets the container and content too.
bool takeJpegReading(const PictureRecord& record, ExifDateTexts texts, ExtractedMetadata& out);

} // namespace shotstamp

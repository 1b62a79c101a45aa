// The identify step (a file's kind from its first bytes), the dispatch to each family's walker,
// and the step every walker shares: from an EXIF block to a capture time.
#include "container.h"

#include "metadata/exif_parser.h"
#include "metadata/picture_reader.h"
#include "metadata/picture_record.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace shotstamp {

namespace {

constexpr std::size_t kHeadSize = 64;

bool startsWith(std::span<const std::uint8_t> head, std::size_t at, const char* text) {
    const std::size_t n = std::strlen(text);
    return at + n <= head.size() && std::memcmp(head.data() + at, text, n) == 0;
}

std::string_view brandAt(std::span<const std::uint8_t> head, std::size_t at) {
    return {reinterpret_cast<const char*>(head.data() + at), 4};
}

ContentType type(ContainerKind kind, const char* name, const char* extension) {
    return {kind, name, extension};
}

// The type one ISO-BMFF brand names; unknown for a brand of no family here.
ContentType typeOfBrand(std::string_view brand) {
    if (brand == "heic" || brand == "heim" || brand == "heis" || brand == "hevc") {
        return type(ContainerKind::heif, "HEIC", ".heic");
    }
    if (brand == "heix" || brand == "hevx" || brand == "mif1" || brand == "msf1" ||
        brand == "mif2") {
        return type(ContainerKind::heif, "HEIF", ".heif");
    }
    if (brand == "avif" || brand == "avis") {
        return type(ContainerKind::avif, "AVIF", ".avif");
    }
    if (brand == "crx ") {
        return type(ContainerKind::cr3, "CR3", ".cr3");
    }
    if (brand == "jxl ") {
        return type(ContainerKind::jxl, "JXL", ".jxl");
    }
    if (brand == "qt  ") {
        return type(ContainerKind::quickTime, "MOV", ".mov");
    }
    if (brand.substr(0, 3) == "M4V") {
        return type(ContainerKind::quickTime, "M4V", ".m4v");
    }
    if (brand.substr(0, 3) == "3g2") {
        return type(ContainerKind::quickTime, "3G2", ".3g2");
    }
    if (brand.substr(0, 3) == "3gp" || brand.substr(0, 3) == "3gs" || brand.substr(0, 3) == "3ge" ||
        brand.substr(0, 3) == "3gg") {
        return type(ContainerKind::quickTime, "3GP", ".3gp");
    }
    if (brand.substr(0, 3) == "iso" || brand == "mp41" || brand == "mp42" || brand == "avc1" ||
        brand == "mmp4" || brand == "dash" || brand == "f4v " || brand == "XAVC" ||
        brand == "MSNV" || brand == "CAEP" || brand == "niko") {
        return type(ContainerKind::quickTime, "MP4", ".mp4");
    }
    return {};
}

// A file-type box: the major brand decides, except that a generic HEIF brand gives way to an
// AV1 one among the compatible brands; a major brand of no family here falls back on the
// compatible ones, and at last on a plain MP4 (cameras write brands of their own).
ContentType typeOfFileTypeBox(std::span<const std::uint8_t> head) {
    const ContentType major = typeOfBrand(brandAt(head, 8));
    const std::uint32_t boxSize = (std::uint32_t{head[0]} << 24) | (std::uint32_t{head[1]} << 16) |
                                  (std::uint32_t{head[2]} << 8) | head[3];
    const std::size_t end = std::min<std::size_t>(boxSize, head.size());
    ContentType compatible;
    for (std::size_t at = 16; at + 4 <= end; at += 4) {
        const ContentType t = typeOfBrand(brandAt(head, at));
        if (t.kind == ContainerKind::avif ||
            (compatible.kind == ContainerKind::unknown && t.kind != ContainerKind::unknown)) {
            compatible = t;
        }
    }
    if (major.kind == ContainerKind::heif && std::strcmp(major.name, "HEIF") == 0 &&
        compatible.kind == ContainerKind::avif) {
        return compatible;
    }
    if (major.kind != ContainerKind::unknown) {
        return major;
    }
    if (compatible.kind != ContainerKind::unknown) {
        return compatible;
    }
    return type(ContainerKind::quickTime, "MP4", ".mp4");
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// From the last dot of the name, lower-cased; empty when the name has none. Scans back only as
// far as the dot: every folder entry of a walk comes here.
std::string extensionOf(std::string_view fileName) {
    for (std::size_t i = fileName.size(); i-- > 0;) {
        if (fileName[i] == '.') {
            return lowerCase(fileName.substr(i));
        }
        if (fileName[i] == '/' || fileName[i] == '\\') {
            break;
        }
    }
    return {};
}

constexpr std::array<std::string_view, 16> kTiffRawExtensions = {
    ".dng", ".cr2", ".nef", ".nrw", ".arw", ".srf", ".sr2", ".orf",
    ".rw2", ".pef", ".srw", ".3fr", ".erf", ".mef", ".mos", ".iiq"};

constexpr std::array<std::string_view, 35> kSupportedExtensions = {
    ".jpg",  ".jpeg", ".jpe", ".heic", ".heif", ".hif", ".avif", ".cr3", ".tif",
    ".tiff", ".dng",  ".cr2", ".nef",  ".nrw",  ".arw", ".srf",  ".sr2", ".orf",
    ".rw2",  ".pef",  ".srw", ".3fr",  ".erf",  ".mef", ".mos",  ".iiq", ".raf",
    ".png",  ".webp", ".jxl", ".mp4",  ".m4v",  ".mov", ".3gp",  ".3g2"};

template <std::size_t N> std::string textOf(const char (&field)[N]) {
    return {field, static_cast<std::size_t>(std::find(field, field + N, '\0') - field)};
}

// The parser filled `texts` through setDateTexts; the record's fixed fields stand in only for
// what a reader without that hook left empty.
void takeDateTexts(const PictureRecord& record, ExifDateTexts& texts) {
    if (texts.original.empty()) {
        texts.original = textOf(record.dateTimeOriginal);
    }
    if (texts.originalSubseconds.empty()) {
        texts.originalSubseconds = textOf(record.subSecTimeOriginal);
    }
}

} // namespace

const char* containerName(ContainerKind kind) {
    switch (kind) {
    case ContainerKind::unknown:
        return "unknown";
    case ContainerKind::jpeg:
        return "JPEG";
    case ContainerKind::heif:
        return "HEIF";
    case ContainerKind::avif:
        return "AVIF";
    case ContainerKind::cr3:
        return "CR3";
    case ContainerKind::tiff:
        return "TIFF";
    case ContainerKind::raf:
        return "RAF";
    case ContainerKind::png:
        return "PNG";
    case ContainerKind::webp:
        return "WEBP";
    case ContainerKind::jxl:
        return "JXL";
    case ContainerKind::quickTime:
        return "QuickTime";
    }
    return "unknown";
}

ContentType identifyContent(std::span<const std::uint8_t> head) {
    static constexpr std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    static constexpr std::uint8_t kJxlBox[12] = {0,   0,   0,    12,   'J',  'X',
                                                 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    if (head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8) {
        return type(ContainerKind::jpeg, "JPEG", ".jpg");
    }
    if ((head.size() >= 2 && head[0] == 0xFF && head[1] == 0x0A) ||
        (head.size() >= 12 && std::memcmp(head.data(), kJxlBox, 12) == 0)) {
        return type(ContainerKind::jxl, "JXL", ".jxl");
    }
    if (head.size() >= 8 && std::memcmp(head.data(), kPng, 8) == 0) {
        return type(ContainerKind::png, "PNG", ".png");
    }
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WEBP")) {
        return type(ContainerKind::webp, "WEBP", ".webp");
    }
    if (startsWith(head, 0, "FUJIFILMCCD-RAW")) {
        return type(ContainerKind::raf, "RAF", ".raf");
    }
    if (startsWith(head, 0, "IIRO") || startsWith(head, 0, "IISR")) {
        return type(ContainerKind::tiff, "ORF", ".orf");
    }
    if (head.size() >= 4 && startsWith(head, 0, "IIU") && head[3] == 0) {
        return type(ContainerKind::tiff, "RW2", ".rw2");
    }
    if (head.size() >= 4 && ((startsWith(head, 0, "II*") && head[3] == 0) ||
                             (startsWith(head, 0, "MM") && head[2] == 0 && head[3] == '*'))) {
        return type(ContainerKind::tiff, "TIFF", ".tif");
    }
    if (head.size() >= 12 && startsWith(head, 4, "ftyp")) {
        return typeOfFileTypeBox(head);
    }
    // QuickTime files from before the file-type box start with one of these boxes.
    if (startsWith(head, 4, "moov") || startsWith(head, 4, "mdat") || startsWith(head, 4, "wide") ||
        startsWith(head, 4, "pnot")) {
        return type(ContainerKind::quickTime, "MOV", ".mov");
    }
    return {};
}

ContainerKind identifyContainer(std::span<const std::uint8_t> head) {
    return identifyContent(head).kind;
}

std::string contentExtension(const ContentType& type, std::string_view fileName) {
    if (type.kind == ContainerKind::tiff) {
        const std::string own = extensionOf(fileName);
        if (std::find(kTiffRawExtensions.begin(), kTiffRawExtensions.end(), own) !=
            kTiffRawExtensions.end()) {
            return own;
        }
    }
    return type.extension;
}

std::span<const std::string_view> supportedExtensions() {
    return kSupportedExtensions;
}

bool hasSupportedExtension(std::string_view fileName) {
    const std::string own = extensionOf(fileName);
    return std::find(kSupportedExtensions.begin(), kSupportedExtensions.end(), own) !=
           kSupportedExtensions.end();
}

ContainerKind containerOfExtension(std::string_view fileName) {
    static constexpr std::pair<std::string_view, ContainerKind> kKinds[] = {
        {".jpg", ContainerKind::jpeg},      {".jpeg", ContainerKind::jpeg},
        {".jpe", ContainerKind::jpeg},      {".heic", ContainerKind::heif},
        {".heif", ContainerKind::heif},     {".hif", ContainerKind::heif},
        {".avif", ContainerKind::avif},     {".cr3", ContainerKind::cr3},
        {".raf", ContainerKind::raf},       {".png", ContainerKind::png},
        {".webp", ContainerKind::webp},     {".jxl", ContainerKind::jxl},
        {".mp4", ContainerKind::quickTime}, {".m4v", ContainerKind::quickTime},
        {".mov", ContainerKind::quickTime}, {".3gp", ContainerKind::quickTime},
        {".3g2", ContainerKind::quickTime}, {".tif", ContainerKind::tiff},
        {".tiff", ContainerKind::tiff}};
    const std::string own = extensionOf(fileName);
    for (const auto& [extension, kind] : kKinds) {
        if (own == extension) {
            return kind;
        }
    }
    return std::find(kTiffRawExtensions.begin(), kTiffRawExtensions.end(), own) !=
                   kTiffRawExtensions.end()
               ? ContainerKind::tiff
               : ContainerKind::unknown;
}

ExtractedMetadata extractMetadata(RandomAccessSource& source, const ExtractOptions& options) {
    ExtractedMetadata out;
    std::array<std::uint8_t, kHeadSize> head{};
    const std::size_t got = source.readAt(0, head.data(), head.size());
    out.content = identifyContent(std::span<const std::uint8_t>(head.data(), got));
    out.container = out.content.kind;
    switch (out.container) {
    case ContainerKind::unknown:
        out.message = got == 0 ? "empty file" : "not a file of any supported kind";
        break;
    case ContainerKind::jpeg:
        extractJpeg(source, out, options);
        break;
    case ContainerKind::heif:
    case ContainerKind::avif:
    case ContainerKind::cr3:
    case ContainerKind::quickTime:
        extractIsoBmff(source, out, options);
        break;
    case ContainerKind::tiff:
        extractTiffRaw(source, out);
        break;
    case ContainerKind::raf:
        extractRaf(source, out);
        break;
    case ContainerKind::png:
        extractPng(source, out);
        break;
    case ContainerKind::webp:
        extractWebp(source, out);
        break;
    case ContainerKind::jxl:
        extractJxl(source, out);
        break;
    }
    if (!options.xmpPacket) {
        out.xmpPacket.clear(); // read in passing by a walker that meets it among other blocks
    }
    return out;
}

bool extractJpeg(RandomAccessSource& source, ExtractedMetadata& out,
                 const ExtractOptions& options) {
    SequentialReader bytes(source);
    PictureReader reader;
    ExifDateTexts texts;
    reader.setDateTexts(&texts);
    reader.setXmpPacket(options.xmpPacket ? &out.xmpPacket : nullptr);
    reader.readSections(bytes);
    return takeJpegReading(reader.record(), std::move(texts), out);
}

bool takeJpegReading(const PictureRecord& record, ExifDateTexts texts, ExtractedMetadata& out) {
    out.content = type(ContainerKind::jpeg, "JPEG", ".jpg");
    out.container = ContainerKind::jpeg;
    if (!record.exifPresent) {
        out.message = "no Exif segment";
        return false;
    }
    takeDateTexts(record, texts);
    if (!out.exifFound) {
        out.exif = texts;
        out.exifFound = true;
    }
    return captureFromExifTexts(texts, out);
}

bool captureFromTiff(std::uint8_t* tiff, std::uint32_t size, ExtractedMetadata& out) {
    bool missed = false;
    return captureFromTiffPart(tiff, size, size, out, missed);
}

bool captureFromTiffPart(std::uint8_t* tiff, std::uint32_t size, std::uint32_t held,
                         ExtractedMetadata& out, bool& missed) {
    PictureRecord record{};
    ExifParser parser(record);
    ExifDateTexts texts;
    parser.setDateTexts(&texts);
    parser.setDatesOnly(true); // only the date texts and DateTimeOriginal are kept
    const bool parsed = parser.parseTiff(tiff, size, held);
    missed = parser.missed();
    if (missed) {
        return false;
    }
    if (!parsed) {
        out.message = parser.message() != nullptr ? parser.message() : "unreadable EXIF block";
        return false;
    }
    takeDateTexts(record, texts);
    if (!out.exifFound) {
        out.exif = texts;
        out.exifFound = true;
    }
    if (out.capture.found()) {
        return true; // an earlier block of the same file already dated it
    }
    return captureFromExifTexts(texts, out);
}

namespace {

// Digits only: the sub-second text ends at the first other character.
std::string leadingDigits(std::string_view text) {
    return std::string(text.substr(
        0, static_cast<std::size_t>(
               std::find_if(text.begin(), text.end(), [](char c) { return c < '0' || c > '9'; }) -
               text.begin())));
}

} // namespace

bool captureFromExifTexts(const ExifDateTexts& texts, ExtractedMetadata& out) {
    CaptureTime capture;
    if (parseExifDateTime(texts.original, capture)) {
        capture.subseconds = leadingDigits(texts.originalSubseconds);
        capture.hasOffset = parseUtcOffset(texts.originalOffset, capture.offsetMinutes) ||
                            parseUtcOffset(texts.modifiedOffset, capture.offsetMinutes);
        capture.field = DateField::dateTimeOriginal;
    } else if (parseExifDateTime(texts.digitized, capture)) {
        // No usable DateTimeOriginal: the moment the picture was digitized stands in for it.
        capture.subseconds = leadingDigits(texts.digitizedSubseconds);
        capture.hasOffset = parseUtcOffset(texts.digitizedOffset, capture.offsetMinutes);
        capture.field = DateField::dateTimeDigitized;
    } else {
        out.message = texts.original.empty() ? "no DateTimeOriginal in the EXIF block"
                                             : "DateTimeOriginal is not a valid date";
        return false;
    }
    out.capture = capture;
    return true;
}

} // namespace shotstamp

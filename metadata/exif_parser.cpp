// Decoding of one Exif APP1 segment: the TIFF header, the directories it links, and the tags
// the record keeps. Every read of the block goes through TiffView's checks.
#include "exif_parser.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace shotstamp {

namespace {

constexpr std::uint32_t kBytesPerFormat[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

enum Format : int {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSignedByte = 6,
    kUndefined = 7,
    kSignedShort = 8,
    kSignedLong = 9,
    kSignedRational = 10,
    kFloat = 11,
    kDouble = 12,
};

enum Tag : std::uint16_t {
    kMake = 0x010F,
    kModel = 0x0110,
    kOrientation = 0x0112,
    kXResolution = 0x011A,
    kYResolution = 0x011B,
    kResolutionUnit = 0x0128,
    kDateTime = 0x0132,
    kThumbnailOffset = 0x0201,
    kThumbnailLength = 0x0202,
    kExposureTime = 0x829A,
    kFNumber = 0x829D,
    kExifPointer = 0x8769,
    kExposureProgram = 0x8822,
    kGpsPointer = 0x8825,
    kIsoSpeedRatings = 0x8827,
    kExifVersion = 0x9000,
    kDateTimeOriginal = 0x9003,
    kDateTimeDigitized = 0x9004,
    kOffsetTime = 0x9010,
    kOffsetTimeOriginal = 0x9011,
    kOffsetTimeDigitized = 0x9012,
    kCompressedBitsPerPixel = 0x9102,
    kShutterSpeedValue = 0x9201,
    kApertureValue = 0x9202,
    kBrightnessValue = 0x9203,
    kExposureBiasValue = 0x9204,
    kMaxApertureValue = 0x9205,
    kSubjectDistance = 0x9206,
    kMeteringMode = 0x9207,
    kLightSource = 0x9208,
    kFlash = 0x9209,
    kFocalLength = 0x920A,
    kUserComment = 0x9286,
    kSubSecTime = 0x9290,
    kSubSecTimeOriginal = 0x9291,
    kSubSecTimeDigitized = 0x9292,
    kPixelXDimension = 0xA002,
    kPixelYDimension = 0xA003,
    kInteroperabilityPointer = 0xA005,
    kFocalPlaneXResolution = 0xA20E,
    kFocalPlaneYResolution = 0xA20F,
    kFocalPlaneResolutionUnit = 0xA210,
};

constexpr std::uint32_t kTiffHeaderSize = 8;
constexpr std::int64_t kExifHeaderSize = 6;
constexpr std::uint32_t kEntrySize = 12;
constexpr std::size_t kMaxUserCommentChars = 199;
// Date, offset and fraction texts are short; anything longer is cut here and then refused by
// whoever reads the text.
constexpr std::size_t kMaxDateTextBytes = 40;

// Tags of the GPS directory; the same numbers mean other things elsewhere.
constexpr std::uint16_t kGpsTimeStamp = 0x0007;
constexpr std::uint16_t kGpsDateStamp = 0x001D;

// The date texts taken from the Exif and first directories, and where each goes.
struct DateTextTag {
    std::uint16_t tag;
    std::string ExifDateTexts::*field;
};
constexpr DateTextTag kDateTextTags[] = {
    {kDateTimeOriginal, &ExifDateTexts::original},
    {kSubSecTimeOriginal, &ExifDateTexts::originalSubseconds},
    {kOffsetTimeOriginal, &ExifDateTexts::originalOffset},
    {kDateTimeDigitized, &ExifDateTexts::digitized},
    {kSubSecTimeDigitized, &ExifDateTexts::digitizedSubseconds},
    {kOffsetTimeDigitized, &ExifDateTexts::digitizedOffset},
    {kDateTime, &ExifDateTexts::modified},
    {kSubSecTime, &ExifDateTexts::modifiedSubseconds},
    {kOffsetTime, &ExifDateTexts::modifiedOffset},
};

// Truncation toward zero that saturates instead of overflowing; NaN becomes 0.
std::int32_t toInt32(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    if (v >= 2147483648.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (v <= -2147483649.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(v);
}

// Narrowing that turns values beyond float's range into infinities, as the hardware would.
float toFloat(double v) {
    if (v > FLT_MAX) {
        return std::numeric_limits<float>::infinity();
    }
    if (v < -FLT_MAX) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(v);
}

std::int32_t saturate(std::int64_t v) {
    if (v > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (v < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(v);
}

// Inches per unit; false for a unit code that names no known unit.
bool unitFactor(std::int32_t unit, float& factor) {
    switch (unit) {
    case 1:
    case 2:
        factor = 1.0F;
        return true;
    case 3:
        factor = static_cast<float>(1.0 / 2.54);
        return true;
    case 4:
        factor = static_cast<float>(1.0 / 25.4);
        return true;
    case 5:
        factor = static_cast<float>(1.0 / 25400.0);
        return true;
    default:
        return false;
    }
}

// 2 to the power v, as the APEX values are defined.
double powerOfTwo(double v) {
    return std::exp(std::log(2.0) * v);
}

// Tags copied as text into a record field, bounded by the value's byte count and by the field
// less its terminator.
struct TextTag {
    std::uint16_t tag;
    std::span<char> (*field)(PictureRecord&);
};
constexpr TextTag kTextTags[] = {
    {kMake, [](PictureRecord& r) { return std::span<char>(r.make); }},
    {kModel, [](PictureRecord& r) { return std::span<char>(r.model); }},
    {kExifVersion, [](PictureRecord& r) { return std::span<char>(r.exifVersion); }},
    {kDateTimeOriginal, [](PictureRecord& r) { return std::span<char>(r.dateTimeOriginal); }},
    {kSubSecTimeOriginal, [](PictureRecord& r) { return std::span<char>(r.subSecTimeOriginal); }},
};

// Tags whose number is stored as it comes, as a float or truncated to a whole number.
struct FloatTag {
    std::uint16_t tag;
    float PictureRecord::*field;
};
constexpr FloatTag kFloatTags[] = {
    {kXResolution, &PictureRecord::xResolution},
    {kYResolution, &PictureRecord::yResolution},
    {kExposureTime, &PictureRecord::exposureTime},
    {kFNumber, &PictureRecord::fNumber},
    {kBrightnessValue, &PictureRecord::brightness},
    {kExposureBiasValue, &PictureRecord::exposureBias},
    {kSubjectDistance, &PictureRecord::subjectDistance},
    {kFocalLength, &PictureRecord::focalLength},
    {kFocalPlaneXResolution, &PictureRecord::focalPlaneXResolution},
    {kFocalPlaneYResolution, &PictureRecord::focalPlaneYResolution},
};
struct IntTag {
    std::uint16_t tag;
    std::int32_t PictureRecord::*field;
};
constexpr IntTag kIntTags[] = {
    {kExposureProgram, &PictureRecord::exposureProgram},
    {kCompressedBitsPerPixel, &PictureRecord::compressedBitsPerPixel},
    {kMeteringMode, &PictureRecord::meteringMode},
    {kLightSource, &PictureRecord::lightSource},
};

template <class Row, std::size_t N> const Row* findTag(const Row (&table)[N], std::uint16_t tag) {
    for (const Row& row : table) {
        if (row.tag == tag) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

bool TiffView::take(std::uint64_t offset, std::uint64_t n) const {
    const bool guarded = offset < guardTo_ && offset + n > guardFrom_;
    if (n == 0 || (holds(offset, n) && !guarded)) {
        return true;
    }
    missed_ = true;
    return false;
}

void TiffView::guard(std::uint64_t offset, std::uint64_t n) {
    if (n == 0) {
        return;
    }
    guardFrom_ = guardTo_ == 0 ? offset : std::min(guardFrom_, offset);
    guardTo_ = std::max(guardTo_, offset + n);
}

std::uint16_t TiffView::read16(std::uint64_t offset) const {
    if (!fits(offset, 2) || !take(offset, 2)) {
        return 0;
    }
    const std::uint8_t* p = data_ + offset;
    return static_cast<std::uint16_t>(motorola_ ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
}

std::uint32_t TiffView::read32(std::uint64_t offset) const {
    if (!fits(offset, 4) || !take(offset, 4)) {
        return 0;
    }
    const std::uint8_t* p = data_ + offset;
    if (motorola_) {
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
               (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
    }
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
           std::uint32_t{p[0]};
}

std::span<std::uint8_t> TiffView::bytes(std::uint64_t offset, std::uint64_t n) const {
    if (n == 0 || !fits(offset, n) || !take(offset, n)) {
        return {};
    }
    return {data_ + offset, static_cast<std::size_t>(n)};
}

double TiffView::number(std::uint64_t offset, int format) const {
    if (format < 1 || format > 12 || format == kAscii || format == kUndefined ||
        !fits(offset, kBytesPerFormat[format]) || !take(offset, kBytesPerFormat[format])) {
        return 0.0;
    }
    const auto signed32 = [this](std::uint64_t at) {
        return static_cast<std::int32_t>(read32(at));
    };
    switch (format) {
    case kByte:
        return data_[offset];
    case kShort:
        return read16(offset);
    case kLong:
        return read32(offset);
    case kRational: {
        const std::uint32_t denominator = read32(offset + 4);
        return denominator == 0 ? 0.0 : static_cast<double>(read32(offset)) / denominator;
    }
    case kSignedByte:
        return static_cast<std::int8_t>(data_[offset]);
    case kSignedShort:
        return static_cast<std::int16_t>(read16(offset));
    case kSignedLong:
        return signed32(offset);
    case kSignedRational: {
        const std::int32_t denominator = signed32(offset + 4);
        return denominator == 0 ? 0.0 : static_cast<double>(signed32(offset)) / denominator;
    }
    case kFloat: {
        const std::uint32_t bits = read32(offset);
        float f = 0;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    case kDouble: {
        const std::uint64_t first = read32(offset);
        const std::uint64_t second = read32(offset + 4);
        const std::uint64_t bits = motorola_ ? (first << 32) | second : (second << 32) | first;
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    default: // ASCII and UNDEFINED have no numeric reading
        return 0.0;
    }
}

bool ExifParser::note(const char* message) {
    message_ = message;
    return false;
}

bool ExifParser::parse(std::uint8_t* payload, std::int32_t segmentLength) {
    record_.flashFired = 0;
    record_.comment[0] = '\0';

    const std::int64_t payloadSize = std::int64_t{segmentLength} - 2;
    if (payloadSize < kExifHeaderSize ||
        std::memcmp(payload, "Exif\0\0", static_cast<std::size_t>(kExifHeaderSize)) != 0) {
        return note("Incorrect Exif header");
    }
    return parseTiff(payload + kExifHeaderSize,
                     static_cast<std::uint32_t>(payloadSize - kExifHeaderSize));
}

bool ExifParser::parseTiff(std::uint8_t* tiff, std::uint32_t size) {
    return parseTiff(tiff, size, size);
}

bool ExifParser::parseTiff(std::uint8_t* tiff, std::uint32_t size, std::uint32_t held) {
    block_ = TiffView(tiff, size, held);
    if (block_.size() < kTiffHeaderSize) {
        return note("Invalid Exif alignment marker.");
    }
    const std::span<const std::uint8_t> order = block_.bytes(0, 2);
    if (order.empty()) {
        return false; // not held: missed
    }
    if (order[0] == 'I' && order[1] == 'I') {
        block_.setMotorolaOrder(false);
    } else if (order[0] == 'M' && order[1] == 'M') {
        block_.setMotorolaOrder(true);
    } else {
        return note("Invalid Exif alignment marker.");
    }
    if (block_.read16(2) != 42) {
        return note("Invalid Exif start (1)");
    }
    // The first directory may lie anywhere after the header, as a link may.
    const std::uint32_t first = block_.read32(4);
    if (first < kTiffHeaderSize || first > block_.size()) {
        return note("Suspicious offset of first IFD value");
    }
    if (!walkDirectory(first, Directory::first)) {
        return false;
    }
    if (record_.focalPlaneXResolution != 0.0F) {
        record_.sensorWidth = toFloat(static_cast<double>(largestExifDimension_) *
                                      static_cast<double>(record_.focalPlaneUnitInches) /
                                      static_cast<double>(record_.focalPlaneXResolution));
    }
    return true;
}

bool ExifParser::walkDirectory(std::uint32_t offset, Directory kind) {
    const auto pathEnd = path_.begin() + depth_;
    if (std::find(path_.begin(), pathEnd, offset) != pathEnd ||
        directoriesWalked_ == kMaxDirectories) {
        return note("Repeated or too many EXIF directories");
    }
    ++directoriesWalked_;
    const std::uint32_t count = block_.read16(offset);
    if (!block_.fits(offset, 2) || !block_.fits(offset + 2ULL, std::uint64_t{kEntrySize} * count)) {
        return note("Illegally sized directory");
    }

    path_[static_cast<std::size_t>(depth_++)] = offset;
    DirectoryState state;
    state.kind = kind;
    const bool walked = walkEntries(offset, count, state);
    --depth_;
    if (!walked) {
        return false;
    }
    if (state.thumbnailOffset > 0 && state.thumbnailLength > 0) {
        const std::span<const std::uint8_t> thumbnail =
            block_.bytes(static_cast<std::uint32_t>(state.thumbnailOffset),
                         static_cast<std::uint32_t>(state.thumbnailLength));
        if (!thumbnail.empty()) {
            record_.thumbnailData = thumbnail.data();
            record_.thumbnailLength = state.thumbnailLength;
            thumbnailFound_ = true;
        }
    }
    return true;
}

bool ExifParser::walkEntries(std::uint32_t offset, std::uint32_t count, DirectoryState& state) {
    const std::uint64_t firstEntry = std::uint64_t{offset} + 2;
    for (std::uint32_t i = 0; i < count; ++i) {
        ExifEntry entry;
        if (!decodeEntry(firstEntry + std::uint64_t{kEntrySize} * i, entry)) {
            return false;
        }
        if (state.kind == Directory::gps) {
            takeGpsEntry(entry);
        } else {
            act(entry, state);
        }
    }
    if (state.kind == Directory::gps) {
        return true; // a GPS directory links to no other
    }
    // A next-directory field that does not lie wholly inside the block reads as 0: no next one.
    const std::uint32_t next = block_.read32(firstEntry + std::uint64_t{kEntrySize} * count);
    if (next != 0) {
        followLink(next);
    }
    return true;
}

bool ExifParser::decodeEntry(std::uint64_t at, ExifEntry& entry) {
    entry.tag = block_.read16(at);
    entry.format = block_.read16(at + 2);
    entry.count = block_.read32(at + 4);
    if (entry.format < 1 || entry.format > 12) {
        return note("Illegal format code in EXIF dir");
    }
    entry.byteCount = std::uint64_t{entry.count} * kBytesPerFormat[entry.format];
    entry.valueOffset = static_cast<std::uint32_t>(at + 8);
    if (entry.byteCount > 4) {
        entry.valueOffset = block_.read32(at + 8);
        if (!block_.fits(entry.valueOffset, entry.byteCount)) {
            return note("Illegal pointer offset value in EXIF.");
        }
    }
    return true;
}

void ExifParser::followLink(std::uint32_t link, Directory kind) {
    // A broken link costs only the directory behind it; the one holding it goes on.
    if (link > block_.size()) {
        note("Illegal subdirectory link");
        return;
    }
    walkDirectory(link, kind);
}

void ExifParser::act(const ExifEntry& entry, DirectoryState& state) {
    if (dateTexts_ != nullptr) {
        takeDateText(entry, state.kind);
    }
    if (datesOnly_) {
        actForDates(entry);
        return;
    }
    if (const TextTag* row = findTag(kTextTags, entry.tag)) {
        copyText(row->field(record_), entry);
        return;
    }
    // A value with no components is never read: it counts as 0.
    const double number = entry.count == 0 ? 0.0 : block_.number(entry.valueOffset, entry.format);
    if (const FloatTag* asFloat = findTag(kFloatTags, entry.tag)) {
        record_.*(asFloat->field) = toFloat(number);
    } else if (const IntTag* asInt = findTag(kIntTags, entry.tag)) {
        record_.*(asInt->field) = toInt32(number);
    } else {
        actOnSpecialTag(entry, number, state);
    }
}

void ExifParser::actForDates(const ExifEntry& entry) {
    switch (entry.tag) {
    case kDateTimeOriginal:
    case kSubSecTimeOriginal:
        copyText(findTag(kTextTags, entry.tag)->field(record_), entry);
        break;
    case kUserComment:
        // The whole walk trims the comment's blanks in place, which a later read of the same
        // bytes would see; where they are not held, such a read misses instead.
        if (block_.holds(entry.valueOffset, entry.byteCount)) {
            takeUserComment(entry);
        } else {
            block_.guard(entry.valueOffset, entry.byteCount);
        }
        break;
    default:
        followPointer(entry);
        break;
    }
}

bool ExifParser::followPointer(const ExifEntry& entry) {
    switch (entry.tag) {
    case kExifPointer:
    case kInteroperabilityPointer:
        // The four bytes at the value lie inside the block: in the entry, or in an out-of-line
        // value whose bounds were checked.
        followLink(block_.read32(entry.valueOffset));
        return true;
    case kGpsPointer:
        if (dateTexts_ != nullptr) {
            followLink(block_.read32(entry.valueOffset), Directory::gps);
        }
        return true;
    default:
        return false;
    }
}

void ExifParser::actOnSpecialTag(const ExifEntry& entry, double number, DirectoryState& state) {
    PictureRecord& r = record_;
    const std::int32_t integer = toInt32(number);
    switch (entry.tag) {
    case kOrientation:
        r.orientation = integer;
        if (integer < 1 || integer > 8) {
            note("Undefined rotation value");
            r.orientation = 0;
        }
        break;
    case kResolutionUnit:
        unitFactor(integer, r.resolutionUnitInches);
        break;
    case kFocalPlaneResolutionUnit:
        unitFactor(integer, r.focalPlaneUnitInches);
        break;
    case kThumbnailOffset:
        state.thumbnailOffset = integer;
        break;
    case kThumbnailLength:
        state.thumbnailLength = integer;
        break;
    case kIsoSpeedRatings:
        r.isoSpeed = integer < 50 ? saturate(std::int64_t{integer} * 200) : integer;
        break;
    case kShutterSpeedValue:
        if (r.exposureTime == 0.0F) {
            const double power = powerOfTwo(number);
            r.exposureTime = toFloat(power == 0.0 ? HUGE_VAL : 1.0 / power);
        }
        break;
    case kApertureValue:
    case kMaxApertureValue:
        if (r.fNumber == 0.0F) {
            r.fNumber = toFloat(powerOfTwo(number * 0.5));
        }
        break;
    case kFlash:
        r.flashFired = (integer & 7) != 0 ? 1 : 0;
        break;
    case kUserComment:
        takeUserComment(entry);
        break;
    case kPixelXDimension:
    case kPixelYDimension:
        largestExifDimension_ = std::max(largestExifDimension_, integer);
        break;
    default:
        followPointer(entry);
        break;
    }
}

void ExifParser::copyText(std::span<char> field, const ExifEntry& entry) {
    // The field's last character is its terminator and is never written.
    const std::size_t limit = field.size() - 1;
    const std::span<const std::uint8_t> value =
        block_.bytes(entry.valueOffset, std::min<std::uint64_t>(entry.byteCount, limit));
    // The date is copied whole, a NUL inside included, so that a date cut short by a NUL can be
    // told from one that ends there; every other text ends at its first NUL.
    const bool whole = field.data() == record_.dateTimeOriginal;
    std::size_t n = 0;
    for (; n < value.size() && (value[n] != 0 || whole); ++n) {
        field[n] = static_cast<char>(value[n]);
    }
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(n),
              field.begin() + static_cast<std::ptrdiff_t>(limit), '\0');
}

void ExifParser::takeUserComment(const ExifEntry& entry) {
    const std::span<std::uint8_t> value = block_.bytes(entry.valueOffset, entry.byteCount);
    // Trailing spaces become zero bytes, in the kept segment itself.
    for (std::size_t j = value.size(); j > 0 && value[j - 1] == ' '; --j) {
        value[j - 1] = 0;
    }
    std::size_t start = 0;
    if (value.size() >= 5 && std::memcmp(value.data(), "ASCII", 5) == 0) {
        // The text starts at the first of the five bytes after the code that holds a character;
        // without one the comment stays as it is.
        start = 5;
        while (start <= 9 && start < value.size() && (value[start] == 0 || value[start] == ' ')) {
            ++start;
        }
        if (start > 9 || start == value.size()) {
            return;
        }
    }
    std::size_t n = 0;
    for (; n < kMaxUserCommentChars && start + n < value.size() && value[start + n] != 0; ++n) {
        record_.comment[n] = static_cast<char>(value[start + n]);
    }
    record_.comment[n] = '\0';
}

namespace {

std::string boundedText(const TiffView& block, const ExifEntry& entry) {
    const std::span<const std::uint8_t> value =
        block.bytes(entry.valueOffset, std::min<std::uint64_t>(entry.byteCount, kMaxDateTextBytes));
    std::string text;
    for (std::size_t n = 0; n < value.size() && value[n] != 0; ++n) {
        text.push_back(static_cast<char>(value[n]));
    }
    return text;
}

} // namespace

void ExifParser::takeDateText(const ExifEntry& entry, Directory kind) {
    const DateTextTag* row = findTag(kDateTextTags, entry.tag);
    // DateTime means the picture's last change only in the first directory; the thumbnail's
    // directory may carry one of its own.
    if (row == nullptr || (entry.tag == kDateTime && kind != Directory::first)) {
        return;
    }
    (*dateTexts_).*(row->field) = boundedText(block_, entry);
}

void ExifParser::takeGpsEntry(const ExifEntry& entry) {
    if (entry.tag == kGpsDateStamp) {
        dateTexts_->gpsDate = boundedText(block_, entry);
    } else if (entry.tag == kGpsTimeStamp && entry.count >= 3 &&
               (entry.format == kRational || entry.format == kSignedRational)) {
        // Three rationals: hours, minutes, seconds; their bounds were checked with the entry.
        dateTexts_->gpsTimeFound = true;
        dateTexts_->gpsHour = block_.number(entry.valueOffset, entry.format);
        dateTexts_->gpsMinute = block_.number(entry.valueOffset + 8ULL, entry.format);
        dateTexts_->gpsSecond = block_.number(entry.valueOffset + 16ULL, entry.format);
    }
}

} // namespace shotstamp

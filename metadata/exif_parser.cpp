// Decoding of one Exif APP1 segment: the TIFF header, the directories it links, and the tags
// the record keeps. Every read is bounded by the TIFF block; offsets are compared in 64 bits so
// that no sum can wrap around.
#include "picture_reader.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

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
    kThumbnailOffset = 0x0201,
    kThumbnailLength = 0x0202,
    kExposureTime = 0x829A,
    kFNumber = 0x829D,
    kExifPointer = 0x8769,
    kExposureProgram = 0x8822,
    kIsoSpeedRatings = 0x8827,
    kExifVersion = 0x9000,
    kDateTimeOriginal = 0x9003,
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
    kSubSecTimeOriginal = 0x9291,
    kPixelXDimension = 0xA002,
    kPixelYDimension = 0xA003,
    kInteroperabilityPointer = 0xA005,
    kFocalPlaneXResolution = 0xA20E,
    kFocalPlaneYResolution = 0xA20F,
    kFocalPlaneResolutionUnit = 0xA210,
};

constexpr std::size_t kTiffHeaderSize = 8;
constexpr std::size_t kExifHeaderSize = 6;
constexpr std::uint32_t kFirstDirectory = 8;
constexpr std::size_t kMaxUserCommentChars = 199;

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

} // namespace

std::uint16_t PictureReader::read16(const std::uint8_t* p) const {
    if (motorolaOrder_ != 0) {
        return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    }
    return static_cast<std::uint16_t>((p[1] << 8) | p[0]);
}

std::int32_t PictureReader::read32(const std::uint8_t* p) const {
    std::uint32_t v = 0;
    if (motorolaOrder_ != 0) {
        v = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
            std::uint32_t{p[3]};
    } else {
        v = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
            std::uint32_t{p[0]};
    }
    return static_cast<std::int32_t>(v);
}

double PictureReader::valueAsNumber(const std::uint8_t* value, int format) const {
    const auto u32 = [this](const std::uint8_t* p) {
        return static_cast<std::uint32_t>(read32(p));
    };
    switch (format) {
    case kByte:
        return value[0];
    case kShort:
        return read16(value);
    case kLong:
        return u32(value);
    case kRational: {
        const std::uint32_t denominator = u32(value + 4);
        return denominator == 0 ? 0.0 : static_cast<double>(u32(value)) / denominator;
    }
    case kSignedByte:
        return static_cast<std::int8_t>(value[0]);
    case kSignedShort:
        return static_cast<std::int16_t>(read16(value));
    case kSignedLong:
        return read32(value);
    case kSignedRational: {
        const std::int32_t denominator = read32(value + 4);
        return denominator == 0 ? 0.0 : static_cast<double>(read32(value)) / denominator;
    }
    case kFloat: {
        const std::uint32_t bits = u32(value);
        float f = 0;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    case kDouble: {
        const std::uint64_t first = u32(value);
        const std::uint64_t second = u32(value + 4);
        const std::uint64_t bits =
            motorolaOrder_ != 0 ? (first << 32) | second : (second << 32) | first;
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    default: // ASCII, UNDEFINED and unknown codes have no numeric reading
        return 0.0;
    }
}

bool PictureReader::parseExif(std::uint8_t* payload, std::int32_t segmentLength) {
    record_->flashFired = 0;
    record_->comment[0] = '\0';
    largestExifDimension_ = 0;
    walkedCount_ = 0;

    const std::int64_t payloadSize = std::int64_t{segmentLength} - 2;
    if (payloadSize < static_cast<std::int64_t>(kExifHeaderSize) ||
        std::memcmp(payload, "Exif\0\0", kExifHeaderSize) != 0) {
        setError("Incorrect Exif header");
        return false;
    }
    block_ = payload + kExifHeaderSize;
    blockSize_ =
        static_cast<std::uint32_t>(payloadSize - static_cast<std::int64_t>(kExifHeaderSize));
    if (blockSize_ < kTiffHeaderSize) {
        setError("Invalid Exif alignment marker.");
        return false;
    }
    if (block_[0] == 'I' && block_[1] == 'I') {
        motorolaOrder_ = 0;
    } else if (block_[0] == 'M' && block_[1] == 'M') {
        motorolaOrder_ = 1;
    } else {
        setError("Invalid Exif alignment marker.");
        return false;
    }
    if (read16(block_ + 2) != 42) {
        setError("Invalid Exif start (1)");
        return false;
    }
    const std::int32_t firstOffset = read32(block_ + 4);
    if (firstOffset < 8 || firstOffset > 16) {
        setError("Suspicious offset of first IFD value");
        return false;
    }
    // The header's offset only passes the range test: the walk always starts right after it.
    if (!walkDirectory(kFirstDirectory)) {
        return false;
    }
    if (record_->focalPlaneXResolution != 0.0F) {
        record_->sensorWidth = toFloat(static_cast<double>(largestExifDimension_) *
                                       static_cast<double>(record_->focalPlaneUnitInches) /
                                       static_cast<double>(record_->focalPlaneXResolution));
    }
    return true;
}

void PictureReader::copyText(char* field, std::size_t limit, const std::uint8_t* value) {
    const auto available = static_cast<std::size_t>(block_ + blockSize_ - value);
    std::size_t i = 0;
    for (; i < limit && i < available && value[i] != 0; ++i) {
        field[i] = static_cast<char>(value[i]);
    }
    std::memset(field + i, 0, limit - i);
}

void PictureReader::takeUserComment(std::uint8_t* value, std::uint64_t byteCount) {
    for (std::uint64_t j = byteCount; j > 0 && value[j - 1] == ' '; --j) {
        value[j - 1] = 0;
    }
    const auto available = static_cast<std::size_t>(block_ + blockSize_ - value);
    const std::uint8_t* text = value;
    if (available >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
        text = nullptr;
        for (std::size_t k = 5; k <= 9 && k < available; ++k) {
            if (value[k] != 0 && value[k] != ' ') {
                text = value + k;
                break;
            }
        }
        if (text == nullptr) {
            return;
        }
    }
    const auto textAvailable = static_cast<std::size_t>(block_ + blockSize_ - text);
    std::size_t n = 0;
    for (; n < kMaxUserCommentChars && n < textAvailable && text[n] != 0; ++n) {
        record_->comment[n] = static_cast<char>(text[n]);
    }
    record_->comment[n] = '\0';
}

bool PictureReader::walkDirectory(std::uint32_t offset) {
    for (int i = 0; i < walkedCount_; ++i) {
        if (walked_[static_cast<std::size_t>(i)] == offset) {
            setError("Repeated or too many EXIF directories");
            return false;
        }
    }
    if (walkedCount_ == kMaxDirectories) {
        setError("Repeated or too many EXIF directories");
        return false;
    }
    walked_[static_cast<std::size_t>(walkedCount_++)] = offset;

    const std::uint64_t size = blockSize_;
    if (std::uint64_t{offset} + 2 > size) {
        setError("Illegally sized directory");
        return false;
    }
    const std::uint32_t entryCount = read16(block_ + offset);
    const std::uint64_t entriesEnd = std::uint64_t{offset} + 2 + 12 * std::uint64_t{entryCount};
    if (entriesEnd > size) {
        setError("Illegally sized directory");
        return false;
    }

    PictureRecord& r = *record_;
    std::int32_t thumbnailOffset = 0;
    std::int32_t thumbnailLength = 0;
    for (std::uint32_t i = 0; i < entryCount; ++i) {
        std::uint8_t* entry = block_ + offset + 2 + 12 * i;
        const std::uint16_t tag = read16(entry);
        const std::uint16_t format = read16(entry + 2);
        const auto count = static_cast<std::uint32_t>(read32(entry + 4));
        if (format < 1 || format > 12) {
            setError("Illegal format code in EXIF dir");
            return false;
        }
        const std::uint64_t byteCount = std::uint64_t{count} * kBytesPerFormat[format];
        std::uint8_t* value = entry + 8;
        if (byteCount > 4) {
            const auto valueOffset = static_cast<std::uint32_t>(read32(entry + 8));
            if (std::uint64_t{valueOffset} + byteCount > size) {
                setError("Illegal pointer offset value in EXIF.");
                return false;
            }
            value = block_ + valueOffset;
        }

        // A value with no components is never read: it counts as 0 and as empty text.
        const bool empty = count == 0;
        const double number = empty ? 0.0 : valueAsNumber(value, format);
        const auto text = [&](char* field, std::size_t limit) {
            if (empty) {
                std::memset(field, 0, limit);
            } else {
                copyText(field, limit, value);
            }
        };
        switch (tag) {
        case kMake:
            text(r.make, sizeof r.make - 1);
            break;
        case kModel:
            text(r.model, sizeof r.model - 1);
            break;
        case kOrientation:
            r.orientation = toInt32(number);
            if (r.orientation < 1 || r.orientation > 8) {
                setError("Undefined rotation value");
                r.orientation = 0;
            }
            break;
        case kXResolution:
            r.xResolution = toFloat(number);
            break;
        case kYResolution:
            r.yResolution = toFloat(number);
            break;
        case kResolutionUnit:
            unitFactor(toInt32(number), r.resolutionUnitInches);
            break;
        case kThumbnailOffset:
            thumbnailOffset = toInt32(number);
            break;
        case kThumbnailLength:
            thumbnailLength = toInt32(number);
            break;
        case kExposureTime:
            r.exposureTime = toFloat(number);
            break;
        case kFNumber:
            r.fNumber = toFloat(number);
            break;
        case kExposureProgram:
            r.exposureProgram = toInt32(number);
            break;
        case kIsoSpeedRatings:
            r.isoSpeed = toInt32(number);
            if (r.isoSpeed < 50) {
                r.isoSpeed = saturate(std::int64_t{r.isoSpeed} * 200);
            }
            break;
        case kExifVersion:
            text(r.exifVersion, sizeof r.exifVersion - 1);
            break;
        case kDateTimeOriginal:
            text(r.dateTimeOriginal, sizeof r.dateTimeOriginal - 1);
            break;
        case kCompressedBitsPerPixel:
            r.compressedBitsPerPixel = toInt32(number);
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
        case kBrightnessValue:
            r.brightness = toFloat(number);
            break;
        case kExposureBiasValue:
            r.exposureBias = toFloat(number);
            break;
        case kSubjectDistance:
            r.subjectDistance = toFloat(number);
            break;
        case kMeteringMode:
            r.meteringMode = toInt32(number);
            break;
        case kLightSource:
            r.lightSource = toInt32(number);
            break;
        case kFlash:
            r.flashFired = (toInt32(number) & 7) != 0 ? 1 : 0;
            break;
        case kFocalLength:
            r.focalLength = toFloat(number);
            break;
        case kUserComment:
            if (empty) {
                r.comment[0] = '\0';
            } else {
                takeUserComment(value, byteCount);
            }
            break;
        case kSubSecTimeOriginal: {
            const std::uint64_t n =
                std::min<std::uint64_t>(byteCount, sizeof r.subSecTimeOriginal - 1);
            std::memset(r.subSecTimeOriginal, 0, sizeof r.subSecTimeOriginal);
            for (std::uint64_t k = 0; k < n && value[k] != 0; ++k) {
                r.subSecTimeOriginal[k] = static_cast<char>(value[k]);
            }
            break;
        }
        case kPixelXDimension:
        case kPixelYDimension:
            if (toInt32(number) > largestExifDimension_) {
                largestExifDimension_ = toInt32(number);
            }
            break;
        case kFocalPlaneXResolution:
            r.focalPlaneXResolution = toFloat(number);
            break;
        case kFocalPlaneYResolution:
            r.focalPlaneYResolution = toFloat(number);
            break;
        case kFocalPlaneResolutionUnit:
            unitFactor(toInt32(number), r.focalPlaneUnitInches);
            break;
        default:
            break;
        }

        if (tag == kExifPointer || tag == kInteroperabilityPointer) {
            // The four bytes at the value always lie inside the block: inline in the entry, or
            // inside an out-of-line value that passed the bounds check above.
            const auto link = static_cast<std::uint32_t>(read32(value));
            if (link > size) {
                setError("Illegal subdirectory link");
                return false;
            }
            walkDirectory(link); // a failure below a link does not fail this directory
        }
    }

    // A next-directory field that does not lie wholly inside the block means no next directory.
    std::uint32_t next = 0;
    if (entriesEnd + 4 <= size) {
        next = static_cast<std::uint32_t>(read32(block_ + entriesEnd));
    }
    if (next != 0) {
        if (next > size) {
            setError("Illegal subdirectory link");
            return false;
        }
        walkDirectory(next);
    }

    if (thumbnailOffset > 0 && thumbnailLength > 0 &&
        std::uint64_t(thumbnailOffset) + std::uint64_t(thumbnailLength) <= size) {
        r.thumbnailData = block_ + thumbnailOffset;
        r.thumbnailLength = thumbnailLength;
        thumbnailBlock_ = block_;
    }
    return true;
}

} // namespace shotstamp

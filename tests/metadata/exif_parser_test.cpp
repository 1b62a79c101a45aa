// The Exif segment: headers, the tag table, value conversions and the directory walk.
#include "reader_harness.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace shotstamp::testing {
namespace {

constexpr std::uint16_t kMake = 0x010F;
constexpr std::uint16_t kModel = 0x0110;
constexpr std::uint16_t kOrientation = 0x0112;
constexpr std::uint16_t kXResolution = 0x011A;
constexpr std::uint16_t kYResolution = 0x011B;
constexpr std::uint16_t kResolutionUnit = 0x0128;
constexpr std::uint16_t kThumbOffset = 0x0201;
constexpr std::uint16_t kThumbLength = 0x0202;
constexpr std::uint16_t kExposureTime = 0x829A;
constexpr std::uint16_t kFNumber = 0x829D;
constexpr std::uint16_t kExifPointer = 0x8769;
constexpr std::uint16_t kExposureProgram = 0x8822;
constexpr std::uint16_t kIso = 0x8827;
constexpr std::uint16_t kExifVersion = 0x9000;
constexpr std::uint16_t kDateTimeOriginal = 0x9003;
constexpr std::uint16_t kCompressedBits = 0x9102;
constexpr std::uint16_t kShutterSpeed = 0x9201;
constexpr std::uint16_t kAperture = 0x9202;
constexpr std::uint16_t kBrightness = 0x9203;
constexpr std::uint16_t kExposureBias = 0x9204;
constexpr std::uint16_t kMaxAperture = 0x9205;
constexpr std::uint16_t kSubjectDistance = 0x9206;
constexpr std::uint16_t kMeteringMode = 0x9207;
constexpr std::uint16_t kLightSource = 0x9208;
constexpr std::uint16_t kFlash = 0x9209;
constexpr std::uint16_t kFocalLength = 0x920A;
constexpr std::uint16_t kUserComment = 0x9286;
constexpr std::uint16_t kPixelX = 0xA002;
constexpr std::uint16_t kPixelY = 0xA003;
constexpr std::uint16_t kInteropPointer = 0xA005;
constexpr std::uint16_t kFocalPlaneX = 0xA20E;
constexpr std::uint16_t kFocalPlaneY = 0xA20F;
constexpr std::uint16_t kFocalPlaneUnit = 0xA210;

Bytes asciiComment(std::string_view afterCode) {
    return concat({bytesOf(std::string_view("ASCII\0\0\0", 8)), bytesOf(afterCode)});
}

// Calls parseExif directly on a payload held in a buffer of exactly its size.
struct Parsed {
    std::unique_ptr<PictureReader> reader;
    std::unique_ptr<std::uint8_t[]> payload;
    bool result = false;
    std::string errorText() const { return reader->errorText(); }
};

Parsed parsePayload(const Bytes& payload, PictureRecord* record = nullptr) {
    Parsed out;
    out.payload = std::make_unique<std::uint8_t[]>(payload.size());
    std::copy(payload.begin(), payload.end(), out.payload.get());
    out.reader = std::make_unique<PictureReader>(record);
    out.result =
        out.reader->parseExif(out.payload.get(), static_cast<std::int32_t>(payload.size() + 2));
    return out;
}

class ExifParser : public ::testing::TestWithParam<bool> {
protected:
    TiffBuilder t{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(ByteOrder, ExifParser, ::testing::Values(false, true), byteOrderName);

TEST(ExifHeader, EachMalformedHeaderIsRefusedWithItsOwnMessage) {
    struct Case {
        const char* name;
        Bytes payload;
        const char* errorText;
    };
    const Bytes ii = bytesOf("II");
    const Bytes mm = bytesOf("MM");
    const Bytes exif = bytesOf(std::string_view("Exif\0\0", 6));
    const std::vector<Case> cases = {
        {"bytes after Exif not zero", concat({bytesOf("Exif"), {0, 1}, ii, {42, 0, 8, 0, 0, 0}}),
         "Incorrect Exif header"},
        {"not Exif at all", concat({bytesOf("Exig"), {0, 0}, ii, {42, 0, 8, 0, 0, 0}}),
         "Incorrect Exif header"},
        {"mixed byte order", concat({exif, bytesOf("IM"), {42, 0, 8, 0, 0, 0}}),
         "Invalid Exif alignment marker."},
        {"lower-case order", concat({exif, bytesOf("ii"), {42, 0, 8, 0, 0, 0}}),
         "Invalid Exif alignment marker."},
        {"43 instead of 42", concat({exif, ii, {43, 0, 8, 0, 0, 0}}), "Invalid Exif start (1)"},
        {"42 in the other order", concat({exif, mm, {42, 0, 0, 0, 0, 8}}),
         "Invalid Exif start (1)"},
        {"first offset 7", concat({exif, ii, {42, 0, 7, 0, 0, 0}}),
         "Suspicious offset of first IFD value"},
        {"first offset 17", concat({exif, mm, {0, 42, 0, 0, 0, 17}}),
         "Suspicious offset of first IFD value"},
        {"first offset negative", concat({exif, ii, {42, 0, 8, 0, 0, 0x80}}),
         "Suspicious offset of first IFD value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PictureRecord record{};
        record.flashFired = 1;
        std::strcpy(record.comment, "old");
        const Parsed out = parsePayload(concat({c.payload, Bytes(16, 0)}), &record);
        EXPECT_FALSE(out.result);
        EXPECT_EQ(out.errorText(), c.errorText);
        // The reset comes before any check.
        EXPECT_EQ(record.flashFired, 0);
        EXPECT_STREQ(record.comment, "");
    }
}

TEST(ExifHeader, FailedHeaderLeavesExifAbsent) {
    TiffBuilder t(false);
    Bytes payload = exifPayload(t.build({{{t.ascii(kMake, "X")}}}));
    payload[5] = 1;
    const ReadOutcome out = readBytes(JpegBuilder().soi().segment(0xE1, payload).sos().bytes());
    EXPECT_TRUE(out.result);
    EXPECT_FALSE(out.record().exifPresent);
    EXPECT_EQ(out.errorText(), "Incorrect Exif header");
    EXPECT_STREQ(out.record().make, "");
}

TEST_P(ExifParser, FirstDirectoryIsAlwaysWalkedAtOffsetEight) {
    for (std::uint32_t first : {8U, 12U, 16U}) {
        SCOPED_TRACE(first);
        const ReadOutcome out = readExif(t.build({{{t.ascii(kMake, "Eight")}}}, first));
        EXPECT_TRUE(out.record().exifPresent);
        EXPECT_STREQ(out.record().make, "Eight");
    }
}

// One directory of each kind, with every tag the record takes.
Bytes fullBlock(const TiffBuilder& t) {
    Directory ifd0{{t.ascii(kMake, "Canon"), t.ascii(kModel, "PowerShot S40"),
                    t.shortEntry(kOrientation, 6), t.rational(kXResolution, 72, 1),
                    t.rational(kYResolution, 300, 4), t.shortEntry(kResolutionUnit, 3),
                    TiffBuilder::pointer(kExifPointer, 1)}};
    Directory exif{{t.rational(kExposureTime, 1, 500),
                    t.rational(kFNumber, 28, 10),
                    t.shortEntry(kExposureProgram, 2),
                    t.shortEntry(kIso, 200),
                    t.undefined(kExifVersion, bytesOf("0220")),
                    t.ascii(kDateTimeOriginal, "2003:12:14 12:01:44"),
                    t.rational(kCompressedBits, 9, 2),
                    t.srational(kBrightness, -75, 100),
                    t.srational(kExposureBias, -1, 3),
                    t.rational(kSubjectDistance, 25, 10),
                    t.shortEntry(kMeteringMode, 5),
                    t.shortEntry(kLightSource, 4),
                    t.shortEntry(kFlash, 0x19),
                    t.rational(kFocalLength, 217, 32),
                    t.longEntry(kPixelX, 2272),
                    t.shortEntry(kPixelY, 1704),
                    t.rational(kFocalPlaneX, 1000, 1),
                    t.rational(kFocalPlaneY, 2000, 2),
                    t.shortEntry(kFocalPlaneUnit, 2),
                    t.undefined(kUserComment, asciiComment("Hello   ")),
                    TiffBuilder::pointer(kInteropPointer, 2)}};
    Directory interop{{t.ascii(0x0001, "R98")}};
    return t.build({ifd0, exif, interop});
}

TEST_P(ExifParser, EveryTagTheReaderKnowsFillsItsField) {
    const ReadOutcome out = readExif(fullBlock(t));
    const PictureRecord& r = out.record();
    EXPECT_TRUE(r.exifPresent);
    EXPECT_EQ(out.errorText(), "");
    EXPECT_STREQ(r.make, "Canon");
    EXPECT_STREQ(r.model, "PowerShot S40");
    EXPECT_EQ(r.orientation, 6);
    EXPECT_EQ(r.xResolution, 72.0F);
    EXPECT_EQ(r.yResolution, 75.0F);
    EXPECT_EQ(r.resolutionUnitInches, static_cast<float>(1 / 2.54));
    EXPECT_EQ(r.exposureTime, static_cast<float>(1.0 / 500));
    EXPECT_EQ(r.fNumber, static_cast<float>(28.0 / 10));
    EXPECT_EQ(r.exposureProgram, 2);
    EXPECT_EQ(r.isoSpeed, 200);
    EXPECT_STREQ(r.exifVersion, "0220");
    EXPECT_STREQ(r.dateTimeOriginal, "2003:12:14 12:01:44");
    EXPECT_EQ(r.compressedBitsPerPixel, 4);
    EXPECT_EQ(r.brightness, -0.75F);
    EXPECT_EQ(r.exposureBias, static_cast<float>(-1.0 / 3));
    EXPECT_EQ(r.subjectDistance, 2.5F);
    EXPECT_EQ(r.meteringMode, 5);
    EXPECT_EQ(r.lightSource, 4);
    EXPECT_EQ(r.flashFired, 1);
    EXPECT_EQ(r.focalLength, 6.78125F);
    EXPECT_EQ(r.focalPlaneXResolution, 1000.0F);
    EXPECT_EQ(r.focalPlaneYResolution, 1000.0F);
    EXPECT_EQ(r.focalPlaneUnitInches, 1.0F);
    EXPECT_EQ(r.sensorWidth, static_cast<float>(2272.0 / 1000.0));
    EXPECT_STREQ(r.comment, "Hello");
    // Frame fields come from the frame header, not from the EXIF dimensions.
    EXPECT_EQ(r.pixelWidth, 64);
    EXPECT_EQ(r.pixelHeight, 48);
}

TEST(ExifParserOrders, BothByteOrdersGiveTheSameRecord) {
    const auto readIn = [](bool motorola, PictureRecord& record) {
        TiffBuilder t(motorola);
        Directory ifd0{{t.ascii(kMake, "Same"), TiffBuilder::pointer(kExifPointer, 2),
                        t.floatEntry(kXResolution, 72.5F)},
                       1};
        Directory ifd1{{t.doubleEntry(kYResolution, 300.25), t.longEntry(kThumbOffset, 8),
                        t.longEntry(kThumbLength, 6)}};
        Directory exif{{t.srational(kExposureBias, -2, 3), t.rational(kExposureTime, 1, 60),
                        t.doubleEntry(kFocalLength, 35.5), t.shortEntry(kIso, 3)}};
        return readExif(t.build({ifd0, ifd1, exif}), &record);
    };
    // Zeroed byte for byte, padding included, so that the two can be compared whole.
    PictureRecord intel;
    PictureRecord motorola;
    std::memset(&intel, 0, sizeof intel);
    std::memset(&motorola, 0, sizeof motorola);
    const ReadOutcome a = readIn(false, intel);
    const ReadOutcome b = readIn(true, motorola);
    EXPECT_EQ(a.reader->thumbnailOffset(), 8);
    EXPECT_EQ(b.reader->thumbnailOffset(), 8);
    ASSERT_NE(intel.thumbnailData, nullptr);
    EXPECT_EQ(intel.yResolution, 300.25F);
    EXPECT_EQ(intel.isoSpeed, 600);
    intel.thumbnailData = nullptr;
    motorola.thumbnailData = nullptr;
    EXPECT_EQ(std::memcmp(&intel, &motorola, sizeof intel), 0);
}

TEST_P(ExifParser, ValueAsNumberReadsTheFirstComponent) {
    struct Case {
        int format;
        Bytes bytes;
        double expected;
    };
    const std::vector<Case> cases = {
        {kByte, {0xFE, 1}, 254},
        {kAscii, bytesOf("12"), 0},
        {kShort, t.u16(0xFFFE), 65534},
        {kLong, t.u32(0xFFFFFFFF), 4294967295.0},
        {kRational, concat({t.u32(1), t.u32(3)}), 1.0 / 3},
        {kRational, concat({t.u32(0xFFFFFFFF), t.u32(2)}), 4294967295.0 / 2},
        {kRational, concat({t.u32(5), t.u32(0)}), 0},
        {kSByte, {0xFF}, -1},
        {kUndefined, {7}, 0},
        {kSShort, t.u16(0xFFFE), -2},
        {kSLong, t.u32(0xFFFFFFFD), -3},
        {kSRational, concat({t.u32(static_cast<std::uint32_t>(-1)), t.u32(4)}), -0.25},
        {kSRational, concat({t.u32(3), t.u32(static_cast<std::uint32_t>(-2))}), -1.5},
        {kSRational, concat({t.u32(3), t.u32(0)}), 0},
        {kFloat, t.floatEntry(0, 1.5F).data, 1.5},
        {kDouble, t.doubleEntry(0, -1e300).data, -1e300},
        {0, {1, 1, 1, 1}, 0},
        {13, {1, 1, 1, 1}, 0},
    };
    // The byte order comes from a parsed header.
    Parsed header = parsePayload(exifPayload(t.build({{{}}})));
    ASSERT_TRUE(header.result);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        Bytes value = c.bytes;
        value.resize(8, 0);
        EXPECT_EQ(header.reader->valueAsNumber(value.data(), c.format), c.expected);
    }
    const Bytes word = concat({t.u16(0x1234), t.u16(0x5678)});
    EXPECT_EQ(header.reader->read16(word.data()), 0x1234);
    EXPECT_EQ(header.reader->read32(t.u32(0x89ABCDEF).data()),
              static_cast<std::int32_t>(0x89ABCDEF));
}

TEST_P(ExifParser, OrientationOutsideOneToEightIsZeroWithoutFailure) {
    for (std::uint32_t value : {0U, 1U, 8U, 9U, 65535U}) {
        SCOPED_TRACE(value);
        const ReadOutcome out =
            readExif(t.build({{{t.shortEntry(kOrientation, value), t.ascii(kModel, "after")}}}));
        const bool valid = value >= 1 && value <= 8;
        EXPECT_EQ(out.record().orientation, valid ? static_cast<int>(value) : 0);
        EXPECT_EQ(out.errorText(), valid ? "" : "Undefined rotation value");
        EXPECT_TRUE(out.record().exifPresent);
        EXPECT_STREQ(out.record().model, "after");
    }
}

TEST_P(ExifParser, IsoBelowFiftyIsMultipliedBy200) {
    struct Case {
        Entry entry;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {t.shortEntry(kIso, 2), 400},
        {t.shortEntry(kIso, 49), 9800},
        {t.shortEntry(kIso, 50), 50},
        {t.shortEntry(kIso, 0), 0},
        {t.shortEntry(kIso, 3200), 3200},
        {{kIso, kSShort, 1, t.u16(0xFFFF)}, -200},
        {t.longEntry(kIso, 4000000000U), std::numeric_limits<std::int32_t>::max()},
        {{kIso, kSLong, 1, t.u32(static_cast<std::uint32_t>(-20000000))},
         std::numeric_limits<std::int32_t>::min()},
    };
    for (const Case& c : cases) {
        const ReadOutcome out = readExif(t.build({{{c.entry}}}));
        EXPECT_EQ(out.record().isoSpeed, c.expected);
    }
}

TEST_P(ExifParser, NumbersOutsideInt32Saturate) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        double value;
        std::int32_t integer;
        float number;
    };
    for (const Case& c : std::vector<Case>{{1e300, std::numeric_limits<std::int32_t>::max(), inf},
                                           {-1e300, std::numeric_limits<std::int32_t>::min(), -inf},
                                           {-7.9, -7, -7.9F},
                                           {2147483647.5, 2147483647, 2147483648.0F}}) {
        SCOPED_TRACE(c.value);
        const ReadOutcome out = readExif(t.build(
            {{{t.doubleEntry(kExposureProgram, c.value), t.doubleEntry(kExposureTime, c.value)}}}));
        EXPECT_EQ(out.record().exposureProgram, c.integer);
        EXPECT_EQ(out.record().exposureTime, c.number);
    }
    const ReadOutcome notANumber = readExif(
        t.build({{{t.doubleEntry(kExposureProgram, nan), t.doubleEntry(kExposureTime, nan)}}}));
    EXPECT_EQ(notANumber.record().exposureProgram, 0);
    EXPECT_TRUE(std::isnan(notANumber.record().exposureTime));
}

TEST_P(ExifParser, ApexValuesOnlyFillWhatIsMissing) {
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        float exposureTime;
        float fNumber;
    };
    const float sixtieth = static_cast<float>(1.0 / 60);
    const std::vector<Case> cases = {
        {"shutter speed alone", {t.srational(kShutterSpeed, 8, 1)}, 1.0F / 256, 0},
        {"exposure time first",
         {t.rational(kExposureTime, 1, 60), t.srational(kShutterSpeed, 8, 1)},
         sixtieth,
         0},
        {"exposure time last",
         {t.srational(kShutterSpeed, 8, 1), t.rational(kExposureTime, 1, 60)},
         sixtieth,
         0},
        {"negative shutter speed", {t.srational(kShutterSpeed, -2, 1)}, 4, 0},
        {"aperture alone", {t.rational(kAperture, 4, 1)}, 0, 4},
        {"max aperture alone", {t.rational(kMaxAperture, 6, 1)}, 0, 8},
        {"aperture before max aperture",
         {t.rational(kAperture, 2, 1), t.rational(kMaxAperture, 6, 1)},
         0,
         static_cast<float>(std::exp(std::log(2.0) * 2 * 0.5))},
        {"f-number first",
         {t.rational(kFNumber, 56, 10), t.rational(kAperture, 4, 1)},
         0,
         static_cast<float>(5.6)},
        {"f-number last",
         {t.rational(kAperture, 4, 1), t.rational(kFNumber, 56, 10)},
         0,
         static_cast<float>(5.6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadOutcome out = readExif(t.build({{c.entries}}));
        EXPECT_FLOAT_EQ(out.record().exposureTime, c.exposureTime);
        EXPECT_FLOAT_EQ(out.record().fNumber, c.fNumber);
    }
}

TEST_P(ExifParser, FlashFiredFromTheThreeLowestBits) {
    for (const auto& [value, fired] : std::vector<std::pair<std::uint32_t, int>>{
             {0x00, 0}, {0x10, 0}, {0x18, 0}, {0x19, 1}, {0x01, 1}, {0x04, 1}, {0x47, 1}}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(readExif(t.build({{{t.shortEntry(kFlash, value)}}})).record().flashFired, fired);
    }
}

TEST_P(ExifParser, EachExifParseStartsWithFlashOffAndNoComment) {
    const Bytes first =
        t.build({{{t.shortEntry(kFlash, 1), t.undefined(kUserComment, asciiComment("one")),
                   t.ascii(kMake, "kept")}}});
    const Bytes second = t.build({{{t.shortEntry(kOrientation, 3)}}});
    const ReadOutcome out = readBytes(JpegBuilder().soi().exif(first).exif(second).sos().bytes());
    EXPECT_EQ(out.record().flashFired, 0);
    EXPECT_STREQ(out.record().comment, "");
    EXPECT_STREQ(out.record().make, "kept");
    EXPECT_EQ(out.record().orientation, 3);
}

TEST_P(ExifParser, UnitFactors) {
    const float previous = 9.0F;
    struct Case {
        std::uint32_t unit;
        float factor;
    };
    for (const Case& c : std::vector<Case>{{1, 1.0F},
                                           {2, 1.0F},
                                           {3, static_cast<float>(1 / 2.54)},
                                           {4, static_cast<float>(1 / 25.4)},
                                           {5, static_cast<float>(1 / 25400.0)},
                                           {0, previous},
                                           {6, previous},
                                           {7, previous}}) {
        SCOPED_TRACE(c.unit);
        PictureRecord record{};
        record.resolutionUnitInches = previous;
        record.focalPlaneUnitInches = previous;
        readExif(t.build({{{t.shortEntry(kResolutionUnit, c.unit),
                            t.shortEntry(kFocalPlaneUnit, c.unit)}}}),
                 &record);
        EXPECT_EQ(record.resolutionUnitInches, c.factor);
        EXPECT_EQ(record.focalPlaneUnitInches, c.factor);
    }
    EXPECT_EQ(static_cast<float>(1 / 2.54), 0.393700778F);
}

TEST_P(ExifParser, SensorWidthFromTheLargestDimension) {
    PictureRecord record{};
    readExif(t.build({{{t.longEntry(kPixelX, 2000), t.longEntry(kPixelY, 1500),
                        t.rational(kFocalPlaneX, 1000, 1), t.shortEntry(kFocalPlaneUnit, 2)}}}),
             &record);
    EXPECT_EQ(record.sensorWidth, 2.0F);

    PictureRecord portrait{};
    readExif(t.build({{{t.shortEntry(kPixelX, 1500), t.shortEntry(kPixelY, 3000),
                        t.rational(kFocalPlaneX, 1000, 1), t.shortEntry(kFocalPlaneUnit, 3)}}}),
             &portrait);
    EXPECT_EQ(portrait.sensorWidth,
              static_cast<float>(3000.0 * static_cast<float>(1 / 2.54) / 1000));

    PictureRecord noResolution{};
    noResolution.sensorWidth = 5.0F;
    readExif(t.build({{{t.longEntry(kPixelX, 2000)}}}), &noResolution);
    EXPECT_EQ(noResolution.sensorWidth, 5.0F);
}

TEST_P(ExifParser, TextCopies) {
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        std::string make;
        std::string dateTime;
    };
    Entry unterminated{kMake, kAscii, 5, bytesOf(std::string_view("CanonXYZ\0", 9))};
    Entry noComponents{kMake, kAscii, 0, {}};
    noComponents.rawField = 0x41414141;
    const std::vector<Case> cases = {
        {"make truncated to 31", {t.ascii(kMake, std::string(40, 'M'))}, std::string(31, 'M'), ""},
        {"date truncated to 19",
         {t.ascii(kDateTimeOriginal, "2005:12:30 20:57:32 extra")},
         "",
         "2005:12:30 20:57:32"},
        {"date stored as found", {t.ascii(kDateTimeOriginal, "30.12.2005")}, "", "30.12.2005"},
        {"shorter make replaces a longer one",
         {t.ascii(kMake, "Thirteen char"), t.ascii(kMake, "AB")},
         "AB",
         ""},
        {"count does not bound the copy", {unterminated}, "CanonXYZ", ""},
        {"zero components give an empty text", {t.ascii(kMake, "Before"), noComponents}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadOutcome out = readExif(t.build({{c.entries}}));
        EXPECT_EQ(std::string(out.record().make), c.make);
        EXPECT_EQ(std::string(out.record().dateTimeOriginal), c.dateTime);
        // The copies never write the terminator's slot.
        EXPECT_EQ(out.record().make[31], '\0');
        EXPECT_EQ(out.record().dateTimeOriginal[19], '\0');
    }
}

TEST_P(ExifParser, TextCopyStopsAtTheEndOfTheBlock) {
    // The model's bytes are the block's last bytes and carry no terminator.
    Bytes block = t.build({{{Entry{kModel, kAscii, 6, {}, 0}}}});
    const auto valueOffset = static_cast<std::uint32_t>(block.size());
    const Bytes text = bytesOf("ABCDEF");
    block.insert(block.end(), text.begin(), text.end());
    TiffBuilder::put(block, 8 + 2 + 8, t.u32(valueOffset));
    const ReadOutcome out = readExif(block);
    EXPECT_STREQ(out.record().model, "ABCDEF");
}

TEST_P(ExifParser, UserComment) {
    struct Case {
        const char* name;
        Bytes value;
        std::string comment;
    };
    const std::vector<Case> cases = {
        {"ASCII with trailing spaces", asciiComment("Hello   "), "Hello"},
        {"ASCII with three leading spaces", asciiComment("   Hello"), ""},
        {"ASCII with one leading space", asciiComment(" Hello"), "Hello"},
        {"ASCII text right after the code", bytesOf("ASCIIHello"), "Hello"},
        {"eight zero bytes", concat({Bytes(8, 0), bytesOf("text")}), ""},
        {"UNICODE code", concat({bytesOf(std::string_view("UNICODE\0", 8)), {'H', 0}}), "UNICODE"},
        {"no code", bytesOf("plain words  "), "plain words"},
        {"long ASCII", asciiComment(std::string(250, 'c')), std::string(199, 'c')},
        {"only spaces", bytesOf("        "), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PictureRecord record{};
        std::strcpy(record.comment, "previous");
        readExif(t.build({{{t.undefined(kUserComment, c.value)}}}), &record);
        EXPECT_EQ(std::string(record.comment), c.comment);
    }
}

TEST_P(ExifParser, UserCommentWithoutTextKeepsTheEmptiedComment) {
    // "ASCII" and five spaces: nothing qualifies, so the comment stays as the parse emptied it.
    const ReadOutcome out =
        readBytes(JpegBuilder()
                      .soi()
                      .exif(t.build({{{t.undefined(kUserComment, bytesOf("ASCII     "))}}}))
                      .sos()
                      .bytes());
    EXPECT_STREQ(out.record().comment, "");
}

// A thumbnail of `length` bytes at the block's end, minus `shortBy`.
Bytes blockWithThumbnail(const TiffBuilder& t, std::int32_t shortBy) {
    Bytes block = t.build({{{t.longEntry(kThumbOffset, 0), t.longEntry(kThumbLength, 10)}}});
    const auto offset = static_cast<std::uint32_t>(block.size());
    block.resize(block.size() + static_cast<std::size_t>(10 - shortBy), 0xAB);
    TiffBuilder::put(block, 8 + 2 + 8, t.u32(offset));
    return block;
}

TEST_P(ExifParser, ThumbnailMustLieInsideTheBlock) {
    const ReadOutcome exact = readExif(blockWithThumbnail(t, 0));
    ASSERT_NE(exact.record().thumbnailData, nullptr);
    EXPECT_EQ(exact.record().thumbnailLength, 10);
    EXPECT_EQ(exact.record().thumbnailData[0], 0xAB);
    EXPECT_EQ(exact.record().thumbnailData[9], 0xAB);
    EXPECT_EQ(exact.reader->thumbnailOffset(), static_cast<std::int64_t>(8 + 2 + 24 + 4));
    // The thumbnail points into the kept Exif segment.
    const JpegSection& exif = exact.reader->section(0);
    EXPECT_EQ(exact.record().thumbnailData + 10, exif.data.get() + exif.length);

    const ReadOutcome over = readExif(blockWithThumbnail(t, 1));
    EXPECT_EQ(over.record().thumbnailData, nullptr);
    EXPECT_EQ(over.record().thumbnailLength, 0);
    EXPECT_EQ(over.reader->thumbnailOffset(), -1);
    EXPECT_TRUE(over.record().exifPresent);
}

TEST_P(ExifParser, ThumbnailNeedsBothTagsInOneDirectory) {
    Directory ifd0{{t.longEntry(kThumbOffset, 8)}, 1};
    Directory ifd1{{t.longEntry(kThumbLength, 4)}};
    const ReadOutcome split = readExif(t.build({ifd0, ifd1}));
    EXPECT_EQ(split.record().thumbnailData, nullptr);

    Directory zero{{t.longEntry(kThumbOffset, 0), t.longEntry(kThumbLength, 4)}};
    EXPECT_EQ(readExif(t.build({zero})).record().thumbnailData, nullptr);

    Directory ifd1Both{{t.longEntry(kThumbOffset, 8), t.longEntry(kThumbLength, 4)}};
    const ReadOutcome inIfd1 = readExif(t.build({{{}, 1}, ifd1Both}));
    EXPECT_EQ(inIfd1.reader->thumbnailOffset(), 8);
    EXPECT_EQ(inIfd1.record().thumbnailLength, 4);
}

TEST_P(ExifParser, WalkOrderDecidesWhichValueStays) {
    struct Case {
        const char* name;
        std::vector<Directory> directories;
        const char* make;
    };
    const Entry exifLink = TiffBuilder::pointer(kExifPointer, 1);
    const std::vector<Case> cases = {
        {"sub-directory walked at its pointer",
         {{{t.ascii(kMake, "ifd0"), exifLink}}, {{t.ascii(kMake, "exif")}}},
         "exif"},
        {"rest of the first directory after the sub-directory",
         {{{exifLink, t.ascii(kMake, "ifd0")}}, {{t.ascii(kMake, "exif")}}},
         "ifd0"},
        {"next directory last",
         {{{exifLink}, 2}, {{t.ascii(kMake, "exif")}}, {{t.ascii(kMake, "ifd1")}}},
         "ifd1"},
        {"interoperability inside the exif walk",
         {{{exifLink, t.ascii(kMake, "ifd0")}},
          {{TiffBuilder::pointer(kInteropPointer, 2)}},
          {{t.ascii(kMake, "interop")}}},
         "ifd0"},
        {"interoperability last",
         {{{t.ascii(kMake, "ifd0"), exifLink}},
          {{t.ascii(kMake, "exif"), TiffBuilder::pointer(kInteropPointer, 2)}},
          {{t.ascii(kMake, "interop")}}},
         "interop"},
        {"tags out of order acted on in stored order",
         {{{t.ascii(kMake, "second"), t.ascii(kModel, "m"), t.ascii(kMake, "third")}}},
         "third"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadOutcome out = readExif(t.build(c.directories));
        EXPECT_STREQ(out.record().make, c.make);
        EXPECT_TRUE(out.record().exifPresent);
    }
}

TEST_P(ExifParser, ThumbnailDirectoryResolutionReplacesTheFirst) {
    Directory ifd0{{t.rational(kXResolution, 300, 1), t.rational(kYResolution, 300, 1),
                    t.shortEntry(kResolutionUnit, 3)},
                   1};
    Directory ifd1{{t.rational(kXResolution, 72, 1), t.rational(kYResolution, 96, 1),
                    t.shortEntry(kResolutionUnit, 2)}};
    const ReadOutcome out = readExif(t.build({ifd0, ifd1}));
    EXPECT_EQ(out.record().xResolution, 72.0F);
    EXPECT_EQ(out.record().yResolution, 96.0F);
    EXPECT_EQ(out.record().resolutionUnitInches, 1.0F);
}

TEST_P(ExifParser, FailurePropagation) {
    struct Case {
        const char* name;
        std::vector<Directory> directories;
        bool exifPresent;
        const char* errorText;
        const char* make;
        const char* model; // set after the failing entry, in the first directory
    };
    const Entry exifLink = TiffBuilder::pointer(kExifPointer, 1);
    const Entry format0{kMake, 0, 1, bytesOf("x")};
    const Entry format13{kMake, 13, 1, bytesOf("x")};
    Entry offPointer = t.ascii(kModel, "out of block");
    offPointer.rawField = 0xFFFF0000;
    Entry farLink{kExifPointer, kLong, 1, t.u32(0x7FFFFFFF)};
    Directory farNext{{t.ascii(kMake, "made")}};
    farNext.rawNext = 0x10000;
    const std::vector<Case> cases = {
        {"format 0 in the first directory",
         {{{t.ascii(kMake, "made"), format0, t.ascii(kModel, "late")}}},
         false,
         "Illegal format code in EXIF dir",
         "made",
         ""},
        {"format 13 in the exif directory",
         {{{exifLink, t.ascii(kModel, "late")}},
          {{t.ascii(kMake, "made"), format13, t.ascii(kMake, "skipped")}}},
         true,
         "Illegal format code in EXIF dir",
         "made",
         "late"},
        {"value outside the block in the first directory",
         {{{t.ascii(kMake, "made"), offPointer}}},
         false,
         "Illegal pointer offset value in EXIF.",
         "made",
         ""},
        {"value outside the block in the exif directory",
         {{{exifLink, t.ascii(kModel, "late")}}, {{offPointer, t.ascii(kMake, "skipped")}}},
         true,
         "Illegal pointer offset value in EXIF.",
         "",
         "late"},
        {"exif pointer beyond the block",
         {{{t.ascii(kMake, "made"), farLink, t.ascii(kModel, "late")}}},
         false,
         "Illegal subdirectory link",
         "made",
         ""},
        {"next directory beyond the block",
         {farNext},
         false,
         "Illegal subdirectory link",
         "made",
         ""},
        {"failing next directory is ignored",
         {{{t.ascii(kMake, "made")}, 1}, {{format0}}},
         true,
         "Illegal format code in EXIF dir",
         "made",
         ""},
        {"bad link inside the exif directory is ignored",
         {{{exifLink, t.ascii(kModel, "late")}}, {{farLink, t.ascii(kMake, "skipped")}}},
         true,
         "Illegal subdirectory link",
         "",
         "late"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadOutcome out = readExif(t.build(c.directories));
        EXPECT_TRUE(out.result);
        EXPECT_EQ(out.record().exifPresent, c.exifPresent);
        EXPECT_EQ(out.errorText(), c.errorText);
        EXPECT_STREQ(out.record().make, c.make);
        EXPECT_STREQ(out.record().model, c.model);
    }
}

TEST_P(ExifParser, FailedWalkRecordsNoThumbnail) {
    Directory ifd0{{}, 1};
    Directory ifd1{
        {t.longEntry(kThumbOffset, 8), t.longEntry(kThumbLength, 4), Entry{kFlash, 0, 1, {}}}};
    const ReadOutcome out = readExif(t.build({ifd0, ifd1}));
    EXPECT_TRUE(out.record().exifPresent);
    EXPECT_EQ(out.record().thumbnailData, nullptr);
    EXPECT_EQ(out.reader->thumbnailOffset(), -1);
}

TEST_P(ExifParser, SensorWidthOnlyAfterASuccessfulWalk) {
    PictureRecord record{};
    readExif(t.build({{{t.longEntry(kPixelX, 2000), t.rational(kFocalPlaneX, 1000, 1),
                        t.shortEntry(kFocalPlaneUnit, 2), Entry{kFlash, 0, 1, {}}}}}),
             &record);
    EXPECT_FALSE(record.exifPresent);
    EXPECT_EQ(record.focalPlaneXResolution, 1000.0F);
    EXPECT_EQ(record.sensorWidth, 0.0F);
}

} // namespace
} // namespace shotstamp::testing

// The JPEG segment walk: what ends it, what is kept, and the frame and comment fields.
#include "reader_harness.h"

#include <cstring>
#include <gtest/gtest.h>

namespace shotstamp::testing {
namespace {

const Bytes kSos = JpegBuilder().sos().bytes();

Bytes dqt() {
    return JpegBuilder().segment(0xDB, Bytes(65, 1)).bytes();
}

struct FailureCase {
    const char* name;
    Bytes bytes;
    bool result;
    const char* errorText;
    const char* line; // console line, or nullptr for none
};

TEST(SectionReader, EachWayOfEndingKeepsItsMessage) {
    const Bytes soi{0xFF, 0xD8};
    const std::vector<FailureCase> cases = {
        {"empty file", {}, false, "", nullptr},
        {"no start of image", {0xFF, 0xD9, 0xFF, 0xDA, 0x00, 0x02}, false, "", nullptr},
        {"start of image reversed", {0xD8, 0xFF}, false, "", nullptr},
        {"six padding bytes accepted", concat({soi, Bytes(5, 0xFF), kSos}), true, "", nullptr},
        {"seven padding bytes", concat({soi, Bytes(7, 0xFF), {0xDA, 0, 2}}), false, "",
         "too many padding unsigned chars"},
        {"length 0", concat({soi, {0xFF, 0xDB, 0, 0}}), false, "invalid marker", nullptr},
        {"length 1", concat({soi, {0xFF, 0xDB, 0, 1}}), false, "invalid marker", nullptr},
        {"end of file at the marker code", concat({soi, {0xFF}}), false, "invalid marker", nullptr},
        {"end of file after start of image", soi, false, "invalid marker", nullptr},
        {"end of file at the first length byte", concat({soi, {0xFF, 0xDB}}), false,
         "invalid marker", nullptr},
        {"end of file at the second length byte", concat({soi, {0xFF, 0xDB, 0}}), false,
         "invalid marker", nullptr},
        {"end of image that ends the file", concat({soi, {0xFF, 0xD9}}), false, "invalid marker",
         nullptr},
        {"end of image with a length", concat({soi, {0xFF, 0xD9, 0, 2}}), false, "",
         "No image in jpeg!"},
        {"end of image announcing more than the file holds", concat({soi, {0xFF, 0xD9, 0, 4, 1}}),
         false, "Premature end of file?", nullptr},
        {"body cut short", concat({soi, {0xFF, 0xDB, 0, 10, 1, 2, 3}}), false,
         "Premature end of file?", nullptr},
        {"no marker after the last segment", concat({soi, dqt()}), false, "invalid marker",
         nullptr},
    };
    for (const FailureCase& c : cases) {
        for (const ReadMode mode : {ReadMode::everySegment, ReadMode::onlyDateBytes}) {
            SCOPED_TRACE(std::string(c.name) + (mode == ReadMode::everySegment ? "" : ", passing"));
            const ReadOutcome out = readBytes(c.bytes, nullptr, mode);
            EXPECT_EQ(out.result, c.result);
            EXPECT_EQ(out.errorText(), c.errorText);
            if (c.line == nullptr) {
                EXPECT_TRUE(out.lines.empty());
            } else {
                EXPECT_EQ(out.lines, std::vector<std::string>{c.line});
            }
        }
    }
}

// Passing over what no date needs, across and beyond the reading buffer, ends up where reading
// every byte does: the same sections, the same dates, the same end.
TEST(SectionReader, PassingOverSegmentsFindsWhatReadingThemFinds) {
    TiffBuilder t(false);
    const Bytes tiff =
        t.build({{{t.ascii(0x9003, "2005:12:30 20:57:32"), t.undefined(0x927C, Bytes(9000, 7))}}});
    for (const std::size_t filler : {100, 4000, 20000}) {
        const Bytes jpeg = JpegBuilder()
                               .soi()
                               .segment(0xE2, Bytes(filler, 1))
                               .exif(tiff)
                               .segment(0xDB, Bytes(65, 1))
                               .sof(0xC0, 48, 64, 3)
                               .sos()
                               .bytes();
        for (const bool cut : {false, true}) {
            SCOPED_TRACE(std::to_string(filler) + (cut ? " cut in the filler" : ""));
            const Bytes input = cut ? Bytes(jpeg.begin(), jpeg.begin() + 50) : jpeg;
            const ReadOutcome all = readBytes(input);
            for (const ReadMode mode : {ReadMode::onlyDateBytes, ReadMode::onlyDateBytesAtOnce}) {
                const ReadOutcome passing = readBytes(input, nullptr, mode);
                EXPECT_EQ(passing.result, all.result);
                EXPECT_EQ(passing.errorText(), all.errorText());
                EXPECT_STREQ(passing.record().dateTimeOriginal, all.record().dateTimeOriginal);
                EXPECT_EQ(passing.record().pixelWidth, all.record().pixelWidth);
                ASSERT_EQ(passing.reader->sectionCount(), all.reader->sectionCount());
                for (int i = 0; i < all.reader->sectionCount(); ++i) {
                    EXPECT_EQ(passing.reader->section(i).length, all.reader->section(i).length);
                }
            }
        }
        EXPECT_STREQ(readBytes(jpeg, nullptr, ReadMode::onlyDateBytes).record().dateTimeOriginal,
                     "2005:12:30 20:57:32");
    }
    // Megabytes of extended XMP, as a phone's portrait keeps before the image, are passed over:
    // read, they would pass the reading budget and end the walk early.
    JpegBuilder portrait;
    portrait.soi().exif(tiff);
    for (int i = 0; i < 80; ++i) {
        portrait.segment(
            0xE1, concat({bytesOf("http://ns.adobe.com/xmp/extension/"), Bytes(60000, 'x')}));
    }
    const ReadOutcome passing = readBytes(portrait.sos().bytes(), nullptr, ReadMode::onlyDateBytes);
    EXPECT_TRUE(passing.result) << passing.errorText();
    EXPECT_STREQ(passing.record().dateTimeOriginal, "2005:12:30 20:57:32");
}

TEST(SectionReader, WithoutStartOfImageKeepsNothing) {
    const ReadOutcome out = readBytes(concat({{0xFF, 0xD7}, dqt(), kSos}));
    EXPECT_FALSE(out.result);
    EXPECT_EQ(out.reader->sectionCount(), 0);
    EXPECT_EQ(out.consumed, 2U);
}

TEST(SectionReader, StopsRightAfterTheScanHeader) {
    const Bytes header = JpegBuilder().soi().segment(0xDB, Bytes(65, 1)).bytes();
    const ReadOutcome out = readBytes(concat({header, kSos}));
    ASSERT_TRUE(out.result);
    ASSERT_EQ(out.reader->sectionCount(), 2);
    // Scan header: FF DA, length 8, six payload bytes; the compressed data behind it is unread.
    EXPECT_EQ(out.consumed, header.size() + 10);
    EXPECT_EQ(out.reader->section(1).marker, 0xDA);
    EXPECT_EQ(out.reader->section(1).length, 8);
}

TEST(SectionReader, ScanRightAfterStartOfImageIsTheOneKeptSection) {
    const ReadOutcome out = readBytes(JpegBuilder().soi().sos().bytes());
    EXPECT_TRUE(out.result);
    ASSERT_EQ(out.reader->sectionCount(), 1);
    EXPECT_EQ(out.reader->section(0).marker, 0xDA);
}

TEST(SectionReader, KeepsSegmentBytesExactlyAsInTheFile) {
    const Bytes payload{9, 8, 7, 6, 5};
    const ReadOutcome out = readBytes(JpegBuilder().soi().segment(0xE5, payload).sos().bytes());
    ASSERT_TRUE(out.result);
    const JpegSection& s = out.reader->section(0);
    EXPECT_EQ(s.marker, 0xE5);
    EXPECT_EQ(s.length, 7);
    const Bytes kept(s.data.get(), s.data.get() + s.length);
    EXPECT_EQ(kept, concat({{0, 7}, payload}));
}

TEST(SectionReader, DiscardsApp0ForeignApp1AndLaterComments) {
    const ReadOutcome out = readBytes(JpegBuilder()
                                          .soi()
                                          .segment(0xE0, bytesOf("JFIF"))
                                          .segment(0xE1, bytesOf("http://ns.adobe.com/xap/1.0/"))
                                          .segment(0xE1, bytesOf("Exi"))
                                          .segment(0xE1, bytesOf("ExiF and more"))
                                          .com("first")
                                          .com("second")
                                          .segment(0xE2, bytesOf("ICC_PROFILE"))
                                          .segment(0xC4, Bytes(20, 0))
                                          .sos()
                                          .bytes());
    ASSERT_TRUE(out.result);
    std::vector<int> markers;
    for (int i = 0; i < out.reader->sectionCount(); ++i) {
        markers.push_back(out.reader->section(i).marker);
    }
    EXPECT_EQ(markers, (std::vector<int>{0xFE, 0xE2, 0xC4, 0xDA}));
    EXPECT_STREQ(out.record().comment, "first");
}

TEST(SectionReader, TwentySectionsAtMost) {
    JpegBuilder nineteen;
    nineteen.soi();
    for (int i = 0; i < 19; ++i) {
        nineteen.segment(0xDB, {static_cast<std::uint8_t>(i)});
    }
    const ReadOutcome fits = readBytes(JpegBuilder(nineteen).sos().bytes());
    EXPECT_TRUE(fits.result);
    EXPECT_EQ(fits.reader->sectionCount(), 20);
    EXPECT_EQ(fits.errorText(), "");

    const ReadOutcome over = readBytes(JpegBuilder(nineteen).segment(0xDB, {}).sos().bytes());
    EXPECT_FALSE(over.result);
    EXPECT_EQ(over.reader->sectionCount(), 20);
    EXPECT_EQ(over.errorText(), "Too many sections in jpg file");
    // The limit is checked before the next marker is read.
    EXPECT_EQ(over.consumed, JpegBuilder(nineteen).segment(0xDB, {}).bytes().size());
}

TEST(SectionReader, DiscardedSegmentsDoNotCountTowardTheLimit) {
    JpegBuilder b;
    b.soi().com("kept");
    for (int i = 0; i < 18; ++i) {
        b.segment(0xDB, {1}).segment(0xE0, bytesOf("JFIF")).com("later").segment(0xE1, {});
    }
    const ReadOutcome out = readBytes(b.sos().bytes());
    EXPECT_TRUE(out.result);
    EXPECT_EQ(out.reader->sectionCount(), 20);
}

TEST(SectionReader, ReadsACodeThatFollowsWithoutPadding) {
    // The DQT's code byte stands where its 0xFF would be.
    const Bytes bytes = concat({{0xFF, 0xD8, 0xDB, 0, 3, 7}, kSos});
    const ReadOutcome out = readBytes(bytes);
    EXPECT_TRUE(out.result);
    ASSERT_EQ(out.reader->sectionCount(), 2);
    EXPECT_EQ(out.reader->section(0).marker, 0xDB);
    EXPECT_EQ(out.reader->section(0).length, 3);
}

TEST(SectionReader, LengthTwoSegmentIsKeptAndEmptiesTheComment) {
    PictureRecord record{};
    std::strcpy(record.comment, "old");
    const ReadOutcome out = readBytes(JpegBuilder().soi().segment(0xFE, {}).sos().bytes(), &record);
    EXPECT_TRUE(out.result);
    EXPECT_EQ(out.reader->section(0).length, 2);
    ASSERT_NE(out.reader->section(0).data, nullptr);
    EXPECT_STREQ(record.comment, "");
}

TEST(SectionReader, FrameFieldsComeFromTheLastFrameHeader) {
    const ReadOutcome out =
        readBytes(JpegBuilder().soi().sof(0xC2, 100, 200, 3).sof(0xC1, 30, 40, 1).sos().bytes());
    EXPECT_EQ(out.record().pixelHeight, 30);
    EXPECT_EQ(out.record().pixelWidth, 40);
    EXPECT_EQ(out.record().threeComponents, 0);
    EXPECT_EQ(out.record().frameMarker, 0xC1);

    // Exactly three components: a four-component (CMYK) frame is not counted as colour.
    for (const auto& [components, three] : {std::pair{3, 1}, std::pair{4, 0}, std::pair{2, 0}}) {
        const ReadOutcome frame =
            readBytes(JpegBuilder()
                          .soi()
                          .sof(0xC0, 8, 8, static_cast<std::uint8_t>(components))
                          .sos()
                          .bytes());
        EXPECT_EQ(frame.record().threeComponents, three) << components;
    }
}

TEST(SectionReader, FrameMarkersAreTheSofCodesOnly) {
    for (int code = 0xC0; code <= 0xCF; ++code) {
        SCOPED_TRACE(code);
        const ReadOutcome out = readBytes(
            JpegBuilder().soi().sof(static_cast<std::uint8_t>(code), 65535, 258, 3).sos().bytes());
        const bool frame = code != 0xC4 && code != 0xC8 && code != 0xCC;
        EXPECT_EQ(out.record().frameMarker, frame ? code : 0);
        EXPECT_EQ(out.record().pixelHeight, frame ? 65535 : 0);
        EXPECT_EQ(out.record().pixelWidth, frame ? 258 : 0);
        EXPECT_EQ(out.record().threeComponents, frame ? 1 : 0);
    }
}

TEST(SectionReader, ShortFrameHeaderSetsOnlyTheMarker) {
    for (int length = 2; length < 8; ++length) {
        SCOPED_TRACE(length);
        PictureRecord record{};
        record.pixelHeight = 11;
        record.pixelWidth = 22;
        record.threeComponents = 1;
        const Bytes payload(static_cast<std::size_t>(length - 2), 0x03);
        const ReadOutcome out =
            readBytes(JpegBuilder().soi().segment(0xC0, payload).sos().bytes(), &record);
        EXPECT_TRUE(out.result);
        EXPECT_EQ(record.frameMarker, 0xC0);
        EXPECT_EQ(record.pixelHeight, 11);
        EXPECT_EQ(record.pixelWidth, 22);
        EXPECT_EQ(record.threeComponents, 1);
    }
}

TEST(SectionReader, CommentCleaning) {
    struct Case {
        const char* name;
        Bytes payload;
        std::string comment;
    };
    std::vector<Case> cases = {
        {"line ends and control bytes",
         {0x41, 0x0D, 0x0A, 0x42, 0x01, 0x09, 0x0D},
         "\x41\x0A\x42?\x09?"},
        {"zero byte and high bytes", {0x00, 0x7F, 0x80, 0xFF, 0x1F}, "?\x7F\x80\xFF?"},
        {"lone carriage return inside", {0x41, 0x0D, 0x42}, "A?B"},
        {"over 1000 letters", Bytes(1500, 'x'), std::string(998, 'x')},
    };
    // A carriage return at the last position within the limit still sees its line feed.
    Bytes edge(997, 'y');
    edge.push_back(0x0D);
    edge.push_back(0x0A);
    cases.push_back({"line feed beyond the limit", edge, std::string(997, 'y')});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadOutcome out =
            readBytes(JpegBuilder().soi().segment(0xFE, c.payload).sos().bytes());
        EXPECT_EQ(std::string(out.record().comment), c.comment);
    }
}

TEST(SectionReader, CommentOrderAgainstTheExifSegment) {
    TiffBuilder t(false);
    const Bytes withComment = t.build({{{t.undefined(
        0x9286, concat({bytesOf(std::string_view("ASCII\0\0\0", 8)), bytesOf("from exif")}))}}});
    const Bytes without = t.build({{{t.shortEntry(0x0112, 1)}}});

    const ReadOutcome before =
        readBytes(JpegBuilder().soi().com("from com").exif(without).sos().bytes());
    EXPECT_STREQ(before.record().comment, "");

    const ReadOutcome after =
        readBytes(JpegBuilder().soi().exif(withComment).com("from com").sos().bytes());
    EXPECT_STREQ(after.record().comment, "from com");

    const ReadOutcome exifLast =
        readBytes(JpegBuilder().soi().com("from com").exif(withComment).sos().bytes());
    EXPECT_STREQ(exifLast.record().comment, "from exif");
}

TEST(SectionReader, SuppliedRecordKeepsWhatTheFileDoesNotWrite) {
    PictureRecord record{};
    std::strcpy(record.model, "kept model");
    record.isoSpeed = 1234;
    record.pixelWidth = 99;
    const ReadOutcome out = readBytes(JpegBuilder().soi().sos().bytes(), &record);
    EXPECT_TRUE(out.result);
    EXPECT_EQ(&out.record(), &record);
    EXPECT_STREQ(record.model, "kept model");
    EXPECT_EQ(record.isoSpeed, 1234);
    EXPECT_EQ(record.pixelWidth, 99);
}

TEST(SectionReader, ExifPresentWhenAnyExifSegmentWasRead) {
    TiffBuilder t(true);
    const Bytes good =
        t.build({{{t.ascii(0x010F, "Maker"), t.ascii(0x9003, "2005:12:30 20:57:32")}}});
    Bytes badHeader = good;
    badHeader[3] = 43; // the header number is no longer 42
    // Writes its date, then fails in the first directory: the date must not stay.
    const Bytes badWalk =
        t.build({{{t.ascii(0x9003, "1999:01:01 00:00:00"), Entry{0x0110, 0, 1, {}}}}});
    const Bytes undated = t.build({{{t.ascii(0x0110, "Model")}}});

    for (const Bytes& bad : {badHeader, badWalk}) {
        const ReadOutcome goodThenBad =
            readBytes(JpegBuilder().soi().exif(good).exif(bad).sos().bytes());
        EXPECT_TRUE(goodThenBad.record().exifPresent);
        EXPECT_STREQ(goodThenBad.record().dateTimeOriginal, "2005:12:30 20:57:32");
        EXPECT_NE(goodThenBad.errorText(), "");

        const ReadOutcome badThenUndated =
            readBytes(JpegBuilder().soi().exif(bad).exif(undated).sos().bytes());
        EXPECT_TRUE(badThenUndated.record().exifPresent);
        EXPECT_STREQ(badThenUndated.record().dateTimeOriginal, "");
        // A later success does not clear the message.
        EXPECT_NE(badThenUndated.errorText(), "");
        EXPECT_EQ(badThenUndated.reader->sectionCount(), 3);
        EXPECT_EQ(badThenUndated.reader->exifSegmentCount(), 2);

        const ReadOutcome badAlone = readBytes(JpegBuilder().soi().exif(bad).sos().bytes());
        EXPECT_FALSE(badAlone.record().exifPresent);
        EXPECT_EQ(badAlone.reader->exifSegmentCount(), 1);
    }
}

TEST(SectionReader, ExifStaysPresentWhenTheFileEndsLater) {
    TiffBuilder t(false);
    const Bytes jpeg = JpegBuilder()
                           .soi()
                           .exif(t.build({{{t.ascii(0x9003, "2005:12:30 20:57:32")}}}))
                           .raw({0xFF, 0xDB, 0, 67, 1, 2})
                           .bytes();
    const ReadOutcome out = readBytes(jpeg);
    EXPECT_FALSE(out.result);
    EXPECT_EQ(out.errorText(), "Premature end of file?");
    EXPECT_TRUE(out.record().exifPresent);
    EXPECT_STREQ(out.record().dateTimeOriginal, "2005:12:30 20:57:32");
    EXPECT_EQ(out.reader->sectionCount(), 1);
}

TEST(SectionReader, ConsoleLinesGoToTheInstalledSink) {
    const ReadOutcome out = readBytes({0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x02});
    EXPECT_EQ(out.lines, std::vector<std::string>{"No image in jpeg!"});
    EXPECT_EQ(out.errorText(), "");
}

TEST(SectionReader, ReadsFromAStandardStream) {
    const Bytes bytes = JpegBuilder().soi().com("stream").sof(0xC0, 3, 4, 3).sos().bytes();
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    PictureReader reader;
    EXPECT_TRUE(reader.readSections(file));
    // The stream stands after the scan header: the five bytes behind it are still unread.
    EXPECT_EQ(std::ftell(file), static_cast<long>(bytes.size() - 5));
    EXPECT_STREQ(reader.record().comment, "stream");
    EXPECT_EQ(reader.record().pixelWidth, 4);
    std::fclose(file);
}

TEST(SectionReader, Read16BigEndian) {
    const std::uint8_t bytes[] = {0x12, 0x34, 0xFF, 0xFE};
    EXPECT_EQ(PictureReader::read16BigEndian(bytes), 0x1234);
    EXPECT_EQ(PictureReader::read16BigEndian(bytes + 2), 0xFFFE);
}

} // namespace
} // namespace shotstamp::testing

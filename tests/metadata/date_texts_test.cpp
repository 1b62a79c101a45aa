// The date texts and the XMP packet that the reader hands out to a caller that asks.
#include "reader_harness.h"

#include <gtest/gtest.h>

namespace shotstamp::testing {
namespace {

struct Read {
    ExifDateTexts texts;
    std::string xmp;
    int sections = 0;
    bool result = false;
};

Read readAsking(const Bytes& jpeg) {
    Read out;
    MemoryByteSource source(jpeg.data(), jpeg.size());
    PictureReader reader;
    reader.setDateTexts(&out.texts);
    reader.setXmpPacket(&out.xmp);
    out.result = reader.readSections(source);
    out.sections = reader.sectionCount();
    return out;
}

class DateTexts : public ::testing::TestWithParam<bool> {
protected:
    TiffBuilder t{GetParam()};
};
INSTANTIATE_TEST_SUITE_P(ByteOrder, DateTexts, ::testing::Values(false, true), byteOrderName);

TEST_P(DateTexts, EveryDateTagAndTheGpsDirectoryAreCopied) {
    const Entry gpsTime{0x0007, kRational, 3,
                        concat({t.u32(23), t.u32(1), t.u32(59), t.u32(1), t.u32(125), t.u32(10)})};
    // IFD0 holds GPS tag numbers and the GPS directory an IFD0 one: each means something else
    // outside its own directory and must be left alone there.
    const Bytes tiff =
        t.build({Directory({t.ascii(0x0132, "2023:01:05 08:00:00"), TiffBuilder::pointer(0x8769, 1),
                            TiffBuilder::pointer(0x8825, 2), t.ascii(0x001D, "1999:09:09")},
                           3),
                 Directory({t.ascii(0x9003, "2023:01:02 10:11:12"), t.ascii(0x9291, "123"),
                            t.ascii(0x9011, "+05:45"), t.ascii(0x9004, "2023:01:02 10:11:13"),
                            t.ascii(0x9292, "45"), t.ascii(0x9012, "-03:30"), t.ascii(0x9290, "7"),
                            t.ascii(0x9010, "+01:00")}),
                 Directory({t.ascii(0x001D, "2023:01:02"), gpsTime,
                            t.ascii(0x0132, "1980:01:01 00:00:00")}),
                 // The thumbnail's directory: its DateTime is not the picture's.
                 Directory({t.ascii(0x0132, "2011:11:11 11:11:11")})});
    const Read r = readAsking(jpegWithExif(tiff));
    ASSERT_TRUE(r.result);
    EXPECT_EQ(r.texts.original, "2023:01:02 10:11:12");
    EXPECT_EQ(r.texts.originalSubseconds, "123");
    EXPECT_EQ(r.texts.originalOffset, "+05:45");
    EXPECT_EQ(r.texts.digitized, "2023:01:02 10:11:13");
    EXPECT_EQ(r.texts.digitizedSubseconds, "45");
    EXPECT_EQ(r.texts.digitizedOffset, "-03:30");
    EXPECT_EQ(r.texts.modified, "2023:01:05 08:00:00");
    EXPECT_EQ(r.texts.modifiedSubseconds, "7");
    EXPECT_EQ(r.texts.modifiedOffset, "+01:00");
    EXPECT_EQ(r.texts.gpsDate, "2023:01:02");
    ASSERT_TRUE(r.texts.gpsTimeFound);
    EXPECT_EQ(r.texts.gpsHour, 23);
    EXPECT_EQ(r.texts.gpsMinute, 59);
    EXPECT_EQ(r.texts.gpsSecond, 12.5);
}

TEST_P(DateTexts, AGpsDirectoryOnThePathIsRefusedAndAnUnreadableSegmentLeavesNoTexts) {
    // The GPS pointer leads back to IFD0: the loop guard refuses it, the rest still reads.
    const Bytes looped = t.build(
        {Directory({t.ascii(0x0132, "2023:01:05 08:00:00"), TiffBuilder::pointer(0x8825, 0)})});
    Read r = readAsking(jpegWithExif(looped));
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.texts.modified, "2023:01:05 08:00:00");
    EXPECT_TRUE(r.texts.gpsDate.empty());

    // A reader that asks for no texts never follows the GPS pointer, not even a broken one.
    const Bytes farGps = t.build({Directory({Entry{0x8825, kLong, 1, t.u32(0x7FFFFFF0)}})});
    EXPECT_STREQ(readExif(farGps).reader->errorText(), "");

    // A directory entry with a bad format code fails the segment after DateTime was copied.
    Bytes broken =
        t.build({Directory({t.ascii(0x0132, "2023:01:05 08:00:00"), Entry{0x0100, 13, 1}})});
    r = readAsking(jpegWithExif(broken));
    EXPECT_TRUE(r.texts.modified.empty());
}

TEST(XmpPacket, TheFirstPacketIsCopiedBoundedAndTheKeptSegmentsStayTheSame) {
    const std::string ns("http://ns.adobe.com/xap/1.0/\0", 29);
    const Bytes jpeg = JpegBuilder()
                           .soi()
                           .segment(0xE1, bytesOf(ns + "<x:xmpmeta>first</x:xmpmeta>"))
                           .segment(0xE1, bytesOf(ns + "second"))
                           .segment(0xE1, bytesOf("http://ns.adobe.com/xmp/extension/\0more"))
                           .sof(0xC0, 8, 8, 3)
                           .sos()
                           .bytes();
    const Read asked = readAsking(jpeg);
    EXPECT_EQ(asked.xmp, "<x:xmpmeta>first</x:xmpmeta>");

    MemoryByteSource source(jpeg.data(), jpeg.size());
    PictureReader plain;
    ASSERT_TRUE(plain.readSections(source));
    EXPECT_EQ(plain.sectionCount(), asked.sections);

    // A packet as large as a segment can hold arrives whole; the limit is never below it.
    const std::string big(65533 - 29, 'x');
    const Read full =
        readAsking(JpegBuilder().soi().segment(0xE1, bytesOf(ns + big)).sos().bytes());
    EXPECT_EQ(full.xmp.size(), big.size());
}

} // namespace
} // namespace shotstamp::testing

// Input built to make the reader loop, recurse, overflow or read past its buffers. Every case
// must end promptly with a defined result; the sanitizer build checks the reads.
#include "corpus_files.h"
#include "metadata/exif_parser.h"
#include "reader_harness.h"

#include <gtest/gtest.h>

namespace shotstamp::testing {
namespace {

constexpr std::uint16_t kMake = 0x010F;
constexpr std::uint16_t kExifPointer = 0x8769;
constexpr std::uint16_t kInteropPointer = 0xA005;
constexpr std::uint16_t kExposureProgram = 0x8822;
const char* const kRepeated = "Repeated or too many EXIF directories";

class HostileExif : public ::testing::TestWithParam<bool> {
protected:
    TiffBuilder t{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(ByteOrder, HostileExif, ::testing::Values(false, true), byteOrderName);

TEST_P(HostileExif, DirectoryLoopsEnd) {
    struct Case {
        const char* name;
        std::vector<Directory> directories;
    };
    Directory self{{t.ascii(kMake, "self")}};
    self.rawNext = 8;
    const Entry toExif = TiffBuilder::pointer(kExifPointer, 1);
    const std::vector<Case> cases = {
        {"directory linking to itself", {self}},
        {"A to B to A", {{{t.ascii(kMake, "A")}, 1}, {{}, 0}}},
        {"exif pointer to the first directory", {{{TiffBuilder::pointer(kExifPointer, 0)}}}},
        {"exif directory pointing at itself", {{{toExif}}, {{toExif}}}},
        {"interoperability back to exif",
         {{{toExif}}, {{TiffBuilder::pointer(kInteropPointer, 2)}}, {{toExif}}}},
        {"interoperability back to the first",
         {{{toExif}}, {{TiffBuilder::pointer(kInteropPointer, 0)}}}},
        {"exif directory's next is the first", {{{toExif}}, {{}, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadOutcome out = readExif(t.build(c.directories));
        EXPECT_TRUE(out.result);
        EXPECT_TRUE(out.record().exifPresent);
        EXPECT_EQ(out.errorText(), kRepeated);
    }
}

TEST_P(HostileExif, DirectoryReachedTwiceWithoutALoopIsWalkedTwice) {
    // The Exif pointer and the next-directory field lead to the same directory; between the two
    // visits the first directory writes its own Make.
    const Directory ifd0{{TiffBuilder::pointer(kExifPointer, 1), t.ascii(kMake, "first")}, 1};
    const ReadOutcome out = readExif(t.build({ifd0, {{t.ascii(kMake, "shared")}}}));
    EXPECT_TRUE(out.record().exifPresent);
    EXPECT_STREQ(out.record().make, "shared");
    EXPECT_EQ(out.errorText(), "");
}

TEST_P(HostileExif, SharedDirectoriesCannotMultiplyTheWork) {
    // Every directory points twice at the next one: 2^40 paths, cut off by the budget.
    constexpr int kLevels = 40;
    std::vector<Directory> dirs(kLevels);
    for (int i = 0; i + 1 < kLevels; ++i) {
        dirs[static_cast<std::size_t>(i)].entries = {TiffBuilder::pointer(kExifPointer, i + 1),
                                                     TiffBuilder::pointer(kInteropPointer, i + 1),
                                                     t.longEntry(kExposureProgram, 7)};
    }
    const ReadOutcome out = readExif(t.build(dirs));
    EXPECT_TRUE(out.record().exifPresent);
    EXPECT_EQ(out.record().exposureProgram, 7);
    EXPECT_EQ(out.errorText(), kRepeated);
}

// `n` directories, directory i setting ExposureProgram to i, each linked to the next one either
// by an Exif pointer or by the next-directory field.
Bytes chain(const TiffBuilder& t, int n, bool throughPointers) {
    std::vector<Directory> dirs(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        Directory& d = dirs[static_cast<std::size_t>(i)];
        d.entries.push_back(t.longEntry(kExposureProgram, static_cast<std::uint32_t>(i)));
        if (i + 1 < n) {
            if (throughPointers) {
                d.entries.push_back(TiffBuilder::pointer(kExifPointer, i + 1));
            } else {
                d.next = i + 1;
            }
        }
    }
    return t.build(dirs);
}

TEST_P(HostileExif, DeepNestingStopsAtTheDirectoryLimit) {
    for (bool throughPointers : {true, false}) {
        SCOPED_TRACE(throughPointers ? "exif pointers" : "next-directory fields");
        const ReadOutcome deep = readExif(chain(t, 1000, throughPointers));
        EXPECT_TRUE(deep.record().exifPresent);
        EXPECT_EQ(deep.record().exposureProgram, ExifParser::kMaxDirectories - 1);
        EXPECT_EQ(deep.errorText(), kRepeated);

        const ReadOutcome fits = readExif(chain(t, ExifParser::kMaxDirectories, throughPointers));
        EXPECT_EQ(fits.record().exposureProgram, ExifParser::kMaxDirectories - 1);
        EXPECT_EQ(fits.errorText(), "");
    }
}

TEST_P(HostileExif, SizesThatOverflowAreRefused) {
    struct Case {
        const char* name;
        std::uint16_t format;
        std::uint32_t count;
        std::uint32_t offset;
    };
    const std::vector<Case> cases = {
        {"count 0xFFFFFFFF rational", kRational, 0xFFFFFFFF, 8},
        {"doubles totalling 2^32 bytes", kDouble, 0x20000000, 8},
        {"shorts totalling 2^32 bytes", kShort, 0x80000000, 8},
        {"longs totalling 2^32 + 4 bytes", kLong, 0x40000001, 8},
        {"offset plus size wraps", kByte, 16, 0xFFFFFFF8},
        {"text at the largest offset", kAscii, 5, 0xFFFFFFFF},
        {"undefined of 4 GiB", kUndefined, 0xFFFFFFFF, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Built in place, not copied from a list: GCC 12 at -O3 warns on the inlined copy of
        // the entry's empty value bytes.
        std::vector<Directory> dirs(1);
        dirs[0].entries.emplace_back(kMake, c.format, c.count, Bytes{}, c.offset);
        const ReadOutcome out = readExif(t.build(dirs));
        EXPECT_FALSE(out.record().exifPresent);
        EXPECT_EQ(out.errorText(), "Illegal pointer offset value in EXIF.");
    }
}

TEST_P(HostileExif, DirectoriesAtTheBlocksEnd) {
    // The Exif pointer is patched to `size - back`, for each of the block's last bytes.
    for (std::uint32_t back = 0; back <= 2; ++back) {
        SCOPED_TRACE(back);
        Bytes block = t.build({{{t.longEntry(kExifPointer, 0), t.ascii(kMake, "after")}}});
        block.push_back(0);
        block.push_back(back == 2 ? 0 : 1); // a count of 0 only where two bytes are left
        const auto size = static_cast<std::uint32_t>(block.size());
        TiffBuilder::put(block, 8 + 2 + 8, t.u32(size - back));
        const ReadOutcome out = readExif(block);
        EXPECT_TRUE(out.record().exifPresent);
        EXPECT_STREQ(out.record().make, "after");
        // Two bytes hold an empty directory whose next field lies outside: no next directory.
        EXPECT_EQ(out.errorText(), back == 2 ? "" : "Illegally sized directory");
    }
}

TEST_P(HostileExif, NextFieldPartlyOutsideTheBlockMeansNoNext) {
    for (std::size_t cut = 1; cut <= 4; ++cut) {
        SCOPED_TRACE(cut);
        Directory d{{t.ascii(kMake, "cut")}};
        d.rawNext = 0x01010101;
        Bytes block = t.build({d});
        block.resize(block.size() - cut);
        const ReadOutcome out = readExif(block);
        EXPECT_TRUE(out.record().exifPresent);
        EXPECT_EQ(out.errorText(), "");
    }
}

TEST(HostileSegments, ShortFrameHeadersAtTheEndOfTheFile) {
    for (int code : {0xC0, 0xC2, 0xCF}) {
        for (int length = 2; length < 8; ++length) {
            SCOPED_TRACE(length);
            const Bytes payload(static_cast<std::size_t>(length - 2), 0x10);
            const ReadOutcome out = readBytes(
                JpegBuilder().soi().segment(static_cast<std::uint8_t>(code), payload).bytes());
            EXPECT_FALSE(out.result);
            EXPECT_EQ(out.errorText(), "invalid marker");
            EXPECT_EQ(out.record().frameMarker, code);
            EXPECT_EQ(out.record().pixelWidth, 0);
        }
    }
}

TEST(HostileSegments, ShortApp1Segments) {
    for (bool motorola : {false, true}) {
        const Bytes full = exifPayload(TiffBuilder(motorola).build({{{}}}));
        for (std::size_t length = 2; length <= 17; ++length) {
            SCOPED_TRACE(length);
            const Bytes payload(full.begin(),
                                full.begin() + static_cast<std::ptrdiff_t>(length - 2));
            const ReadOutcome out =
                readBytes(JpegBuilder().soi().segment(0xE1, payload).sos().bytes());
            EXPECT_TRUE(out.result);
            const char* expected = length < 6    ? ""
                                   : length < 8  ? "Incorrect Exif header"
                                   : length < 16 ? "Invalid Exif alignment marker."
                                                 : "Illegally sized directory";
            EXPECT_EQ(out.errorText(), expected);
            EXPECT_FALSE(out.record().exifPresent);
            // A payload too short to say "Exif" is discarded like any foreign APP1.
            EXPECT_EQ(out.reader->sectionCount(), length < 6 ? 1 : 2);
        }
    }
}

TEST(HostileSegments, RealFileCutAtEveryByteOfItsHeader) {
    const Bytes file = readCorpusFile("Canon_40D.jpg");
    if (file.empty()) {
        GTEST_SKIP() << corpusMissing();
    }
    const std::size_t exif = findSegment(file, 0xE1);
    ASSERT_NE(exif, std::string::npos);
    const std::size_t exifEnd = exif + 2 + std::size_t{file[exif + 2]} * 256 + file[exif + 3];
    const ReadOutcome whole = readBytes(file);
    ASSERT_TRUE(whole.result);
    for (std::size_t n = 0; n < whole.consumed; ++n) {
        const ReadOutcome cut =
            readBytes(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
        ASSERT_FALSE(cut.result) << n;
        ASSERT_EQ(cut.record().exifPresent, n >= exifEnd) << n;
    }
}

// The Exif segment is shortened to every length from 2 up, the rest of the file kept, so that
// the parser meets a real TIFF block cut at every byte.
TEST(HostileSegments, RealExifSegmentCutAtEveryLength) {
    for (const char* name : {"Canon_40D.jpg", "Fujifilm_FinePix_E500.jpg"}) {
        SCOPED_TRACE(name);
        const Bytes file = readCorpusFile(name);
        if (file.empty()) {
            GTEST_SKIP() << corpusMissing();
        }
        const std::size_t exif = findSegment(file, 0xE1);
        ASSERT_NE(exif, std::string::npos);
        const std::size_t length = std::size_t{file[exif + 2]} * 256 + file[exif + 3];
        const auto at = [&](std::size_t i) {
            return file.begin() + static_cast<std::ptrdiff_t>(i);
        };
        bool anyPresent = false;
        for (std::size_t cut = 2; cut <= length; ++cut) {
            Bytes bytes(file.begin(), at(exif + 2));
            bytes.push_back(static_cast<std::uint8_t>(cut >> 8));
            bytes.push_back(static_cast<std::uint8_t>(cut & 0xFF));
            bytes.insert(bytes.end(), at(exif + 4), at(exif + 2 + cut));
            bytes.insert(bytes.end(), at(exif + 2 + length), file.end());
            const ReadOutcome out = readBytes(bytes);
            ASSERT_TRUE(out.result) << cut;
            anyPresent = anyPresent || out.record().exifPresent;
        }
        EXPECT_TRUE(anyPresent);
    }
}

} // namespace
} // namespace shotstamp::testing

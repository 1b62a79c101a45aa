// The walkers of the TIFF, RAF, PNG, WebP and JPEG XL families: files built byte by byte in both
// byte orders, broken ones, a 2 GB sparse file, and the real samples with their reference dates.
#include "container_builders.h"
#include "corpus_files.h"
#include "metadata/containers/jxl.h"
#include "metadata/containers/png.h"
#include "metadata/containers/raf.h"
#include "metadata/containers/riff_webp.h"
#include "metadata/containers/tiff_raw.h"
#include "reader_harness.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace shotstamp::testing {
namespace {

using Walker = bool (*)(RandomAccessSource&, ExtractedMetadata&);

struct Walk {
    bool ok;
    ExtractedMetadata out;
    std::uint64_t bytesRead;
};

Walk walk(Walker walker, const Bytes& file) {
    MemoryRandomSource source(file);
    Walk w{false, {}, 0};
    w.ok = walker(source, w.out);
    w.bytesRead = source.bytesRead();
    return w;
}

std::string stamp(const CaptureTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return t.found() ? text : "none";
}

Bytes withMagic(Bytes tiff, std::string_view magic) {
    std::copy(magic.begin(), magic.end(), tiff.begin());
    return tiff;
}

class Walkers : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(ByteOrder, Walkers, ::testing::Values(false, true), byteOrderName);

// Every family dates the same EXIF block, reading little beyond it however much image data
// surrounds it, and no cut of the file makes it report another date.
TEST_P(Walkers, EveryContainerDatesItsExifBlockReadingLittleElse) {
    const Bytes tiff = exifBlock(GetParam(), "2021:07:04 10:20:30", "25");
    const Bytes payload = concat({big32(0), tiff});
    const Bytes bulk(100000, 7);
    struct Case {
        const char* name;
        Walker walker;
        Bytes file;
    };
    std::vector<Case> cases = {
        {"tiff", extractTiffRaw, tiff},
        {"raf", extractRaf, raf(tiff)},
        {"png eXIf after IDAT", extractPng,
         png({pngChunk("IDAT", bulk), pngChunk("tEXt", concat({textKeyword("Comment"), bulk})),
              pngChunk("eXIf", tiff)})},
        {"png zTXt raw profile", extractPng,
         png({pngChunk(
             "zTXt",
             concat({textKeyword("Raw profile type exif"), {0}, zlibPacked(rawProfile(tiff))}))})},
        {"webp with Exif prefix", extractWebp,
         webp({riffChunk("VP8X", Bytes(10, 0)), riffChunk("ALPH", Bytes(3, 1)),
               riffChunk("VP8L", bulk), riffChunk("EXIF", exifPayload(tiff))})},
        {"webp bare TIFF", extractWebp, webp({riffChunk("EXIF", tiff)})},
        {"jxl", extractJxl,
         jxl({concat({big32(1), bytesOf("jxlp"), big32(0), big32(bulk.size() + 16), bulk}),
              box("Exif", payload)})},
        {"jxl brob", extractJxl,
         jxl({box("jxlc", bulk), box("brob", concat({bytesOf("Exif"), brotliPacked(payload)}))})},
    };
    if (!GetParam()) {
        cases.push_back({"orf IIRO", extractTiffRaw, withMagic(tiff, "IIRO")});
        cases.push_back({"orf IISR", extractTiffRaw, withMagic(tiff, "IISR")});
        cases.push_back({"rw2", extractTiffRaw, withMagic(tiff, std::string_view("IIU\0", 4))});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string_view(c.name) == "jxl brob" && !jxlReadsCompressedBoxes()) {
            continue;
        }
        const Walk w = walk(c.walker, c.file);
        EXPECT_TRUE(w.ok) << w.out.message;
        EXPECT_EQ(stamp(w.out.capture), "2021-07-04 102030");
        EXPECT_EQ(w.out.capture.subseconds, "25");
        EXPECT_EQ(w.out.capture.field, DateField::dateTimeOriginal);
        EXPECT_LE(w.bytesRead, 2 * tiff.size() + 512);
        for (std::size_t cut = 0; cut < c.file.size(); cut += 1 + cut / 64) {
            const Walk part = walk(c.walker, Bytes(c.file.begin(), c.file.begin() + cut));
            ASSERT_TRUE(!part.out.capture.found() ||
                        stamp(part.out.capture) == "2021-07-04 102030");
            ASSERT_TRUE(part.out.capture.found() || !part.out.message.empty());
        }
    }
}

// Directories far into the file are read where they lie, not by reading up to them.
TEST_P(Walkers, TiffDirectoriesFarIntoTheFileCostOnlyTheirBytes) {
    const TiffBuilder t(GetParam());
    Directory exif{{t.ascii(0x9003, "2019:01:02 03:04:05")}};
    exif.atOffset = 3000000;
    const Walk w = walk(extractTiffRaw, t.build({{{TiffBuilder::pointer(0x8769, 1)}}, exif}));
    EXPECT_EQ(stamp(w.out.capture), "2019-01-02 030405");
    EXPECT_LE(w.bytesRead, 16 * 1024 + 64);
}

// A file source for the sparse file; tests may use the standard library's files.
class StreamSource final : public RandomAccessSource {
public:
    explicit StreamSource(const std::filesystem::path& path)
        : file_(path, std::ios::binary), size_(std::filesystem::file_size(path)) {}
    std::uint64_t size() const override { return size_; }

protected:
    std::size_t readAtOffset(std::uint64_t offset, std::uint8_t* out, std::size_t n) override {
        file_.clear();
        file_.seekg(static_cast<std::streamoff>(offset));
        file_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
        return static_cast<std::size_t>(file_.gcount());
    }

private:
    std::ifstream file_;
    std::uint64_t size_;
};

TEST(TiffWalker, TwoGigabyteSparseFileIsDatedFromItsLastKilobytes) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("shotstamp-sparse-" + std::to_string(std::random_device{}()) + ".nef");
    const std::uint32_t far = 2000000000;
    const TiffBuilder t(false);
    Bytes dirs = concat({t.u16(1), t.u16(0x8769), t.u16(kLong), t.u32(1), t.u32(far + 18), t.u32(0),
                         t.u16(1), t.u16(0x9003), t.u16(kAscii), t.u32(20), t.u32(far + 36),
                         t.u32(0), bytesOf(std::string_view("2020:02:29 23:59:58\0", 20))});
    for (const std::uint32_t first : {far, 3000000000U}) {
        {
            std::ofstream file(path, std::ios::binary | std::ios::trunc);
            const Bytes header = concat({bytesOf("II"), t.u16(42), t.u32(first)});
            file.write(reinterpret_cast<const char*>(header.data()), 8);
        }
        std::filesystem::resize_file(path, far);
        std::ofstream(path, std::ios::binary | std::ios::app)
            .write(reinterpret_cast<const char*>(dirs.data()),
                   static_cast<std::streamsize>(dirs.size()));
        StreamSource source(path);
        ExtractedMetadata out;
        const bool ok = extractTiffRaw(source, out);
        EXPECT_EQ(ok, first == far) << out.message;
        EXPECT_EQ(stamp(out.capture), first == far ? "2020-02-29 235958" : "none");
        EXPECT_LE(source.bytesRead(), 16 * 1024 + 128);
    }
    std::filesystem::remove(path);
}

TEST(ContainerWalkers, BrokenFilesGiveAReason) {
    const Bytes tiff = exifBlock(false, "2021:07:04 10:20:30");
    const TiffBuilder t(false);
    Bytes wrongLength = png({pngChunk("eXIf", tiff)});
    wrongLength[33 + 3] = 0xF0; // the eXIf chunk's length, now past the end
    Bytes riffTooLong = webp({riffChunk("EXIF", tiff)});
    riffTooLong[16] = 0xFF;
    Bytes farJpeg = raf(tiff);
    farJpeg[86] = 0x7F;
    const Bytes bomb = concat({big32(0), tiff, Bytes(3 << 20, 0)});
    struct Case {
        Walker walker;
        Bytes file;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {extractPng, wrongLength, "length reaches past the end"},
        {extractPng,
         png({pngChunk("zTXt", concat({textKeyword("Raw profile type exif"),
                                       {0},
                                       zlibPacked(Bytes(3 << 20, '0'))}))}),
         "holds no capture date"},
        {extractPng,
         png({pngChunk(
             "tEXt", concat({textKeyword("date:create"), bytesOf("2020-01-01T00:00:00+00:00")}))}),
         "holds no capture date"},
        {extractWebp, riffTooLong, "chunk's size reaches past the end"},
        {extractWebp, concat({bytesOf("RIFF"), little32(1000), bytesOf("WEBP")}),
         "RIFF size reaches past the end"},
        {extractJxl, Bytes{0xFF, 0x0A, 0, 0}, "bare JPEG XL code stream holds no metadata"},
        {extractJxl, jxl({box("Exif", concat({big32(1000), tiff}))}), "offset to its TIFF header"},
        {extractJxl, jxl({concat({big32(5000), bytesOf("jxlc")})}), "size reaches past the end"},
        {extractJxl, jxl({box("brob", concat({bytesOf("Exif"), brotliPacked(bomb)}))}),
         jxlReadsCompressedBoxes() ? "inflates beyond 1 MiB" : "cannot read Brotli"},
        {extractRaf, farJpeg, "past the end of the file"},
        {extractTiffRaw, t.build({{{t.ascii(0x010F, "Maker")}}}, 90000), "past the end"},
        {extractTiffRaw, t.build({{{t.ascii(0x010F, "x"), TiffBuilder::pointer(0x8769, 0)}}}),
         "repeated or too many"},
        {extractTiffRaw, withMagic(tiff, "IIxy"), "not a TIFF header"},
    };
    for (const Case& c : cases) {
        const Walk w = walk(c.walker, c.file);
        SCOPED_TRACE(c.reason);
        EXPECT_FALSE(w.out.capture.found());
        EXPECT_NE(w.out.message.find(c.reason), std::string::npos) << w.out.message;
    }
}

TEST(PngWalker, CreationTimeTextsAndXmp) {
    const auto text = [](std::string_view type, std::string_view keyword, std::string_view value) {
        const Bytes extra = type == "iTXt" ? Bytes{0, 0, 0, 0} : Bytes{};
        return pngChunk(type, concat({textKeyword(keyword), extra, bytesOf(value)}));
    };
    struct Case {
        Bytes chunk;
        const char* expected;
        int offset; // -1000: none
        const char* subseconds;
    };
    const std::vector<Case> cases = {
        {text("tEXt", "Creation Time", "Tue, 19 May 2022 14:24:34 +0200"), "2022-05-19 142434", 120,
         ""},
        {text("iTXt", "Creation Time", "2022-05-19T14:24:34.5-03:30"), "2022-05-19 142434", -210,
         "5"},
        {text("tEXt", "Creation Time", "2022:05:19 14:24:34"), "2022-05-19 142434", -1000, ""},
        {text("tEXt", "Creation Time", "1 Jan 2001 00:00 GMT"), "2001-01-01 000000", 0, ""},
        {text("tEXt", "Creation Time", "2022-02-30T10:00:00"), "none", -1000, ""},
    };
    for (const Case& c : cases) {
        const Walk w = walk(extractPng, png({c.chunk}));
        EXPECT_EQ(stamp(w.out.capture), c.expected);
        EXPECT_EQ(w.out.capture.hasOffset ? w.out.capture.offsetMinutes : -1000, c.offset);
        EXPECT_EQ(w.out.capture.subseconds, c.subseconds);
    }
    const Bytes xmp = bytesOf("<x:xmpmeta>exif:DateTimeOriginal</x:xmpmeta>");
    const Walk withXmp =
        walk(extractPng,
             png({text("iTXt", "XML:com.adobe.xmp", "<x:xmpmeta>exif:DateTimeOriginal</x:xmpmeta>"),
                  text("tEXt", "Creation Time", "2022:05:19 14:24:34")}));
    EXPECT_EQ(withXmp.out.xmpPacket, std::string(xmp.begin(), xmp.end()));
    EXPECT_EQ(walk(extractWebp, webp({riffChunk("XMP ", xmp)})).out.xmpPacket,
              withXmp.out.xmpPacket);
    EXPECT_EQ(walk(extractJxl, jxl({box("xml ", xmp)})).out.xmpPacket, withXmp.out.xmpPacket);
    // An EXIF date wins over a creation time text that comes before it.
    const Walk both =
        walk(extractPng,
             png({cases[0].chunk, pngChunk("eXIf", exifBlock(true, "2000:01:02 03:04:05"))}));
    EXPECT_EQ(stamp(both.out.capture), "2000-01-02 030405");
}

// The real samples of these families give the reference's capture moment (none of them holds an
// offset for it), or none where the reference has none.
TEST(ContainerWalkers, CorpusSamplesMatchTheReference) {
    const std::filesystem::path folder = std::filesystem::path(SHOTSTAMP_CORPUS_DIR) / "formats";
    std::ifstream json(folder / "reference.json");
    if (!json) {
        GTEST_SKIP() << "camera corpus not found at " << folder.string();
    }
    const std::string reference((std::istreambuf_iterator<char>(json)), {});
    const std::vector<std::pair<std::string, Walker>> families = {
        {".raf", extractRaf},     {".png", extractPng},     {".webp", extractWebp},
        {".jxl", extractJxl},     {".tif", extractTiffRaw}, {".tiff", extractTiffRaw},
        {".dng", extractTiffRaw}, {".cr2", extractTiffRaw}, {".nef", extractTiffRaw},
        {".orf", extractTiffRaw}, {".pef", extractTiffRaw}, {".srw", extractTiffRaw},
        {".arw", extractTiffRaw}};
    int checked = 0;
    const std::string key = "\"relpath\": \"";
    for (std::size_t at = reference.find(key); at != std::string::npos;
         at = reference.find(key, at + 1)) {
        const std::size_t start = at + key.size();
        const std::string name = reference.substr(start, reference.find('"', start) - start);
        const std::size_t expectedAt = reference.find("\"expected_local\": ", at) + 18;
        const std::string expected = reference.compare(expectedAt, 4, "null") == 0
                                         ? "none"
                                         : reference.substr(expectedAt + 1, 17);
        for (const auto& [extension, walker] : families) {
            if (std::filesystem::path(name).extension() == extension) {
                std::ifstream file(folder / name, std::ios::binary);
                const Bytes bytes((std::istreambuf_iterator<char>(file)), {});
                const Walk w = walk(walker, bytes);
                EXPECT_EQ(stamp(w.out.capture), expected) << name << ": " << w.out.message;
                EXPECT_FALSE(w.out.capture.hasOffset) << name;
                ++checked;
            }
        }
    }
    EXPECT_GE(checked, 20);
}

} // namespace
} // namespace shotstamp::testing

// The identify step and the ISO-BMFF walker, on files built byte by byte.
#include "box_builder.h"
#include "metadata/containers/container.h"
#include "metadata/containers/isobmff.h"
#include "platform/files.h"
#include "platform/random_file.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace shotstamp {
namespace {

using namespace testing;

ExtractedMetadata extract(const Bytes& file, std::uint64_t* bytesRead = nullptr) {
    MemoryRandomSource source(file);
    ExtractedMetadata out = extractMetadata(source);
    EXPECT_LE(source.bytesRead(), RandomAccessSource::kReadBudget);
    if (bytesRead != nullptr) {
        *bytesRead = source.bytesRead();
    }
    return out;
}

std::string moment(const CaptureTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%s %s%d %s", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.subseconds.c_str(),
                  t.isUtc ? "UTC" : (t.hasOffset ? "off" : "local"), t.offsetMinutes,
                  dateFieldName(t.field));
    return text;
}

TEST(Identify, BrandsAndSignaturesNameTheTypeAndItsExtension) {
    struct Case {
        Bytes head;
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {ftyp("heic", "mif1heic"), "HEIC", ".heic"},
        {ftyp("heix", "mif1"), "HEIF", ".heif"},
        {ftyp("mif1", "heic"), "HEIF", ".heif"},
        {ftyp("mif1", "avifmiaf"), "AVIF", ".avif"},
        {ftyp("avis", ""), "AVIF", ".avif"},
        {ftyp("crx ", "isom"), "CR3", ".cr3"},
        {ftyp("qt  ", "qt  "), "MOV", ".mov"},
        {ftyp("isom", "iso2mp41"), "MP4", ".mp4"},
        {ftyp("M4V ", "M4V "), "M4V", ".m4v"},
        {ftyp("3gp5", "3gp4"), "3GP", ".3gp"},
        {ftyp("3g2a", ""), "3G2", ".3g2"},
        {ftyp("CAEP", "CAEP"), "MP4", ".mp4"},
        {box("moov", {}), "MOV", ".mov"},
        {{0xFF, 0xD8, 0xFF, 0xE1}, "JPEG", ".jpg"},
        {bytesOf(std::string_view("II*\0\x08\0\0\0", 8)), "TIFF", ".tif"},
        {bytesOf(std::string_view("MM\0*\0\0\0\x08", 8)), "TIFF", ".tif"},
        {bytesOf("IIRO\x08"), "ORF", ".orf"},
        {bytesOf("IISR\x08"), "ORF", ".orf"},
        {bytesOf(std::string_view("IIU\0\x08", 5)), "RW2", ".rw2"},
        {bytesOf("FUJIFILMCCD-RAW 0201"), "RAF", ".raf"},
        {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, "PNG", ".png"},
        {bytesOf("RIFF\x10\x01\x01\x01WEBPVP8X"), "WEBP", ".webp"},
        {{0xFF, 0x0A, 0x00}, "JXL", ".jxl"},
        {{0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A}, "JXL", ".jxl"},
        {bytesOf("GIF89a"), "unknown", ""},
        {bytesOf(std::string_view("II*", 3)), "unknown", ""},
    };
    for (const Case& c : cases) {
        const ContentType type = identifyContent(c.head);
        EXPECT_STREQ(type.name, c.name) << c.name << " " << c.extension;
        EXPECT_STREQ(type.extension, c.extension) << c.name;
    }
}

TEST(Identify, TiffRawFilesKeepTheirOwnExtension) {
    const ContentType tiff = identifyContent(bytesOf(std::string_view("II*\0", 4)));
    EXPECT_EQ(contentExtension(tiff, "DSC_0001.NEF"), ".nef");
    EXPECT_EQ(contentExtension(tiff, "scan.TIFF"), ".tif");
    EXPECT_EQ(contentExtension(tiff, "raw.nef/picture.jpg"), ".tif");
    EXPECT_EQ(contentExtension(identifyContent(ftyp("heic", "")), "IMG_1.JPG"), ".heic");
    EXPECT_TRUE(hasSupportedExtension("IMG_1.HEIC"));
    EXPECT_TRUE(hasSupportedExtension("clip.3g2"));
    EXPECT_FALSE(hasSupportedExtension("notes.txt"));
    EXPECT_FALSE(hasSupportedExtension("heic"));
}

class ByteOrder : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Tiff, ByteOrder, ::testing::Values(false, true),
                         [](const auto& order) { return order.param ? "Motorola" : "Intel"; });

TEST_P(ByteOrder, HeifExifItemInMediaDataOrItemData) {
    const Bytes tiff = exifTiff(GetParam(), "2022:01:15 10:20:30", "762");
    for (int method : {0, 1}) {
        for (int version : {0, 1, 2}) {
            if (method == 1 && version == 0) {
                continue; // version 0 has no construction method
            }
            HeifOptions o;
            o.ilocVersion = version;
            o.items = {{7, "mime", "application/rdf+xml", bytesOf("<x:xmpmeta/>"), method},
                       {9, "Exif", "", exifItem(tiff), method}};
            const ExtractedMetadata out = extract(heifFile(o));
            EXPECT_EQ(moment(out.capture), "2022-01-15 10:20:30.762 local0 DateTimeOriginal")
                << method << version << out.message;
            EXPECT_EQ(out.xmpPacket, "<x:xmpmeta/>");
            EXPECT_TRUE(out.exifFound);
        }
    }
    HeifOptions avif;
    avif.brand = "avif";
    avif.items = {{1, "Exif", "", exifItem(tiff)}};
    const ExtractedMetadata out = extract(heifFile(avif));
    EXPECT_EQ(out.container, ContainerKind::avif);
    EXPECT_TRUE(out.capture.found()) << out.message;
}

// The walker reads an Exif item's head first and the whole item only when its dates need more.
TEST_P(ByteOrder, HeifExifItemIsReadInPartWhereItsDatesAllow) {
    const TiffBuilder t(GetParam());
    const Entry date = t.ascii(0x9003, "2022:01:15 10:20:30");
    const Entry note = t.undefined(0x927C, Bytes(40000, 'n'));
    // The comment's blanks run past the head, and a date text is read from inside it: header 8,
    // first directory 30, GPS directory 29, Exif directory 42, then the comment's code.
    const Entry comment = t.undefined(
        0x9286,
        concat({bytesOf("ASCII"), Bytes(3, 0), bytesOf("2022:01:15 10:20:30"), Bytes(6000, ' ')}));
    const Entry dateInComment(0x9003, 2, 20, {}, 8 + 30 + 29 + 42 + 8);
    const Directory gps{{t.ascii(0x1D, "2022:01:16")}};
    struct Case {
        std::vector<Entry> exif;
        bool gpsLast;
        bool whole; // the dates lie beyond the head
    };
    const Case cases[] = {{{date, note}, false, false},
                          {{date, note}, true, true},
                          {{note, date}, false, true},
                          {{comment, dateInComment, note}, false, true}};
    for (const Case& c : cases) {
        const int exif = c.gpsLast ? 1 : 2;
        const Directory first{
            {TiffBuilder::pointer(0x8769, exif), TiffBuilder::pointer(0x8825, 3 - exif)}};
        const Bytes tiff = t.build(c.gpsLast ? std::vector<Directory>{first, {c.exif}, gps}
                                             : std::vector<Directory>{first, gps, {c.exif}});
        HeifOptions o;
        o.items = {{1, "Exif", "", exifItem(tiff)},
                   {2, "mime", "application/rdf+xml", Bytes(30000, ' ')}};
        const Bytes file = heifFile(o);
        for (const bool xmp : {true, false}) {
            MemoryRandomSource source(file);
            const ExtractedMetadata out = extractMetadata(source, ExtractOptions{.xmpPacket = xmp});
            EXPECT_EQ(moment(out.capture), "2022-01-15 10:20:30. local0 DateTimeOriginal")
                << out.message;
            EXPECT_EQ(out.exif.original, "2022:01:15 10:20:30"); // the comment's blanks trimmed
            EXPECT_EQ(out.exif.gpsDate, "2022:01:16");
            EXPECT_EQ(out.xmpPacket.size(), xmp ? 30000U : 0U);
            EXPECT_EQ(source.bytesRead() > (xmp ? 70000U : 40000U), c.whole) << source.bytesRead();
        }
    }
}

TEST_P(ByteOrder, Cr3DateComesFromTheExifBlock) {
    const ExtractedMetadata out = extract(cr3File(GetParam(), "2018:02:21 12:08:56"));
    EXPECT_EQ(out.container, ContainerKind::cr3);
    EXPECT_EQ(moment(out.capture), "2018-02-21 12:08:56. local0 DateTimeOriginal") << out.message;
}

TEST(Video, KeysThenUserDataYearThenMovieHeader) {
    // 2022-08-22 17:27:37 UTC in seconds since 1904.
    const std::uint64_t seconds = 3744034057ULL;
    auto date = [&](MovieDates d, const Bytes& userData = {}) {
        return moment(extract(concat({ftyp("qt  ", "qt  "), box("mdat", Bytes(100, 0)),
                                      movieBox(d, userData)}))
                          .capture);
    };
    EXPECT_EQ(date({seconds, 0, "2022-09-23T18:28:38+0900", "2021-01-02T03:04:05+01:00"}),
              "2022-09-23 18:28:38. off540 QuickTime CreationDate");
    EXPECT_EQ(date({seconds, 0, "", "2021-01-02T03:04:05-01:30"}),
              "2021-01-02 03:04:05. off-90 QuickTime \xC2\xA9"
              "day");
    EXPECT_EQ(date({seconds, 0, "", ""}), "2022-08-22 17:27:37. UTC0 QuickTime movie header");
    EXPECT_EQ(date({seconds, 1, "", ""}), "2022-08-22 17:27:37. UTC0 QuickTime movie header");
    EXPECT_EQ(date({seconds, 0, "2020-01-05T11:19:45.5Z", ""}),
              "2020-01-05 11:19:45.5 UTC0 QuickTime CreationDate");
    // A camera's thumbnail JPEG with Exif comes before the user data and the header.
    const Bytes thumbnail =
        JpegBuilder().soi().exif(exifTiff(false, "2019:05:06 07:08:09")).sos().bytes();
    EXPECT_EQ(date({seconds, 0, "", "2021-01-02"}, box("CNTH", box("CNDA", thumbnail))),
              "2019-05-06 07:08:09. local0 DateTimeOriginal");
    // A camera without a clock writes 0; a malformed text is passed over.
    EXPECT_EQ(date({0, 0, "2020-13-05T11:19:45", ""}), "0000-00-00 00:00:00. local0 none");
}

TEST(Jpeg, DispatchedToTheSequentialReader) {
    const Bytes file =
        JpegBuilder().soi().exif(exifTiff(true, "2003:12:04 06:46:52")).sos().bytes();
    const ExtractedMetadata out = extract(file);
    EXPECT_EQ(out.container, ContainerKind::jpeg);
    EXPECT_EQ(moment(out.capture), "2003-12-04 06:46:52. local0 DateTimeOriginal");
}

TEST(HostileBoxes, EachGivesItsReasonWithinTheBudget) {
    const Bytes tiff = exifTiff(false, "2022:01:15 10:20:30");
    auto heif = [&](auto change) {
        HeifOptions o;
        o.items = {{1, "Exif", "", exifItem(tiff)}};
        change(o);
        return heifFile(o);
    };
    const Bytes good = heif([](HeifOptions&) {});
    Bytes sizePastEnd = good;
    sizePastEnd[24] = 0x7F; // the metadata box, after the 24-byte file-type box
    Bytes nested = box("udta", {});
    for (int i = 0; i < 12; ++i) {
        nested = box("udta", nested);
    }
    const Bytes iref = fullBox("iref", 0,
                               concat({box("dimg", concat({be(1, 2), be(1, 2), be(1, 2)})),
                                       box("cdsc", concat({be(1, 2), be(1, 2), be(1, 2)}))}));
    const Bytes dinf = box("dinf", fullBox("dref", 0, concat({be(1, 4), fullBox("url ", 0, {})})));
    struct Case {
        const char* name;
        Bytes file;
        const char* reason;
    };
    const Case cases[] = {
        {"cut in a box header", Bytes(good.begin(), good.begin() + 28), "cut short"},
        {"media data past the end", sizePastEnd, "runs past the end of the box or file"},
        {"64-bit size past the end",
         concat({ftyp("isom", ""), largeBox("mdat", Bytes(8, 0)), be(1, 4), bytesOf("moov"),
                 be(1ULL << 40, 8)}),
         "runs past the end"},
        {"extent past the end", heif([](HeifOptions& o) { o.extentShift = 1 << 20; }),
         "lies past the end of the file"},
        {"extent runs out", heif([](HeifOptions& o) { o.extentShift = 60; }),
         "runs past the end of the file"},
        {"item from referenced items", heif([&](HeifOptions& o) {
             o.ilocVersion = 1;
             o.items[0].method = 2;
             o.extraMetaBoxes = concat({iref, dinf});
         }),
         "built from other items"},
        {"10,000 items", heif([](HeifOptions& o) { o.fillerItems = 10000; }),
         "more items than any real picture"},
        {"metadata box shorter than its version",
         concat({ftyp("qt  ", ""), box("moov", box("meta", Bytes(2, 0)))}), "cut short"},
        {"boxes nested deep", concat({ftyp("qt  ", ""), box("moov", nested)}), "nest deeper"},
        {"no metadata at all", concat({ftyp("heic", ""), box("mdat", {})}), "no Exif item"},
    };
    for (const Case& c : cases) {
        const ExtractedMetadata out = extract(c.file);
        EXPECT_FALSE(out.capture.found()) << c.name;
        EXPECT_NE(out.message.find(c.reason), std::string::npos) << c.name << ": " << out.message;
    }
    // The references around a sound item do not stop it from being read.
    EXPECT_TRUE(extract(heif([&](HeifOptions& o) {
                    o.extraMetaBoxes = concat({iref, dinf});
                })).capture.found());
}

// Large sparse files on disk, read through the platform's positioned reads.
class SparseFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("shotstamp-sparse-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { std::filesystem::remove(path_); }

    void write(const Bytes& head, std::uint64_t size, const Bytes& tail) {
        {
            std::ofstream(path_, std::ios::binary)
                .write(reinterpret_cast<const char*>(head.data()),
                       static_cast<std::streamsize>(head.size()));
        }
        std::filesystem::resize_file(path_, size);
        std::fstream file(path_, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(size - tail.size()));
        file.write(reinterpret_cast<const char*>(tail.data()),
                   static_cast<std::streamsize>(tail.size()));
    }
    ExtractedMetadata read(std::uint64_t& bytesRead) {
        std::string message;
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
            files::openForReading(path_.string(), message), &std::fclose);
        EXPECT_TRUE(file) << message;
        files::FileRandomSource source(file.get());
        ExtractedMetadata out = extractMetadata(source);
        bytesRead = source.bytesRead();
        EXPECT_FALSE(source.failed());
        return out;
    }

    std::filesystem::path path_;
};

TEST_F(SparseFile, GigabyteVideoWithItsMovieBoxLastIsDatedFromAFewKilobytes) {
    const std::uint64_t size = 1ULL << 30;
    const Bytes moov = movieBox({3744034057ULL, 0, "", ""});
    const Bytes type = ftyp("isom", "mp41");
    write(concat({type, be(1, 4), bytesOf("mdat"), be(size - type.size() - moov.size(), 8)}), size,
          moov);
    std::uint64_t bytesRead = 0;
    const ExtractedMetadata out = read(bytesRead);
    EXPECT_EQ(moment(out.capture), "2022-08-22 17:27:37. UTC0 QuickTime movie header")
        << out.message;
    EXPECT_LT(bytesRead, 1U << 20);
}

TEST_F(SparseFile, TwoGigabytesOfNothingGiveAReason) {
    write(ftyp("heic", "mif1"), 2ULL << 30, {});
    std::uint64_t bytesRead = 0;
    const ExtractedMetadata out = read(bytesRead);
    EXPECT_FALSE(out.capture.found());
    EXPECT_FALSE(out.message.empty());
    EXPECT_LT(bytesRead, 64U << 10);
}

} // namespace
} // namespace shotstamp

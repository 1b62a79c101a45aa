// Every camera picture of the corpus: read without a fault (the sanitizer build watches the
// reads), with a record that keeps its invariants, and stopping at the start of scan.
#include "corpus_files.h"
#include "reader_harness.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace shotstamp::testing {
namespace {

template <std::size_t N> bool terminated(const char (&text)[N]) {
    return std::memchr(text, 0, N) != nullptr;
}

void expectInvariants(const ReadOutcome& out) {
    const PictureRecord& r = out.record();
    EXPECT_TRUE(terminated(r.exifVersion));
    EXPECT_TRUE(terminated(r.make));
    EXPECT_TRUE(terminated(r.model));
    EXPECT_TRUE(terminated(r.dateTimeOriginal));
    EXPECT_TRUE(terminated(r.comment));
    EXPECT_TRUE(terminated(r.subSecTimeOriginal));
    EXPECT_GE(r.orientation, 0);
    EXPECT_LE(r.orientation, 8);
    EXPECT_TRUE(r.flashFired == 0 || r.flashFired == 1);
    EXPECT_TRUE(r.threeComponents == 0 || r.threeComponents == 1);
    const PictureReader& reader = *out.reader;
    EXPECT_GE(reader.sectionCount(), 0);
    EXPECT_LE(reader.sectionCount(), PictureReader::kMaxSections);
    bool thumbnailInSection = r.thumbnailData == nullptr && r.thumbnailLength == 0;
    for (int i = 0; i < reader.sectionCount(); ++i) {
        const JpegSection& s = reader.section(i);
        ASSERT_NE(s.data, nullptr);
        EXPECT_GE(s.length, 2);
        EXPECT_EQ(s.data[0] * 256 + s.data[1], s.length);
        if (r.thumbnailData != nullptr && s.marker == 0xE1 && r.thumbnailData >= s.data.get() + 8 &&
            r.thumbnailData + r.thumbnailLength <= s.data.get() + s.length) {
            thumbnailInSection = true;
        }
    }
    EXPECT_TRUE(thumbnailInSection);
    if (out.result) {
        EXPECT_EQ(reader.section(reader.sectionCount() - 1).marker, 0xDA);
    }
}

TEST(Corpus, EveryPictureReadsWithItsInvariants) {
    const auto pictures = corpusPictures();
    if (pictures.empty()) {
        GTEST_SKIP() << corpusMissing();
    }
    int reachedScan = 0;
    int withExif = 0;
    for (const auto& path : pictures) {
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const ReadOutcome out = readBytes(file);
        expectInvariants(out);
        reachedScan += out.result ? 1 : 0;
        withExif += out.record().exifPresent ? 1 : 0;
        if (out.result) {
            // Stopped right after the scan header: the kept header is the last bytes read.
            const JpegSection& scan = out.reader->section(out.reader->sectionCount() - 1);
            ASSERT_LE(static_cast<std::size_t>(scan.length), out.consumed);
            EXPECT_EQ(
                0, std::memcmp(scan.data.get(),
                               file.data() + out.consumed - static_cast<std::size_t>(scan.length),
                               static_cast<std::size_t>(scan.length)));
            EXPECT_LT(out.consumed, file.size());
        }
    }
    // Nearly all of the corpus are whole camera pictures; only a handful are broken on purpose.
    EXPECT_GT(reachedScan, static_cast<int>(pictures.size()) * 3 / 4);
    EXPECT_GT(withExif, static_cast<int>(pictures.size()) * 3 / 4);
}

// Camera files the reader once misread: a first directory far from offset 8, a Model without
// terminator, an Exif pointer stored as a string.
TEST(Corpus, FilesOnceMisreadGiveTheirDateAndModel) {
    struct Case {
        const char* file;
        const char* date;
        const char* model;
    };
    if (corpusFolder().empty()) {
        GTEST_SKIP() << corpusMissing();
    }
    for (const Case& c :
         {Case{"tests/87_OSError.jpg", "2005:12:14 14:39:47", "NIKON D70s"},
          Case{"Kodak_CX7530.jpg", "2005:08:13 09:47:23", "KODAK CX7530 ZOOM DIGITAL CAMERA"},
          Case{"tests/30-type_error.jpg", "", ""}}) {
        SCOPED_TRACE(c.file);
        const Bytes file = readCorpusFile(c.file);
        ASSERT_FALSE(file.empty()) << "missing from the camera corpus";
        const ReadOutcome out = readBytes(file);
        EXPECT_TRUE(out.record().exifPresent);
        EXPECT_STREQ(out.record().dateTimeOriginal, c.date);
        EXPECT_STREQ(out.record().model, c.model);
    }
}

TEST(Corpus, StreamAndMemoryGiveTheSameRecord) {
    const auto pictures = corpusPictures();
    if (pictures.empty()) {
        GTEST_SKIP() << corpusMissing();
    }
    for (const auto& path : pictures) {
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        PictureRecord fromMemory;
        PictureRecord fromStream;
        std::memset(&fromMemory, 0, sizeof fromMemory);
        std::memset(&fromStream, 0, sizeof fromStream);
        const ReadOutcome memory = readBytes(file, &fromMemory);

        std::FILE* stream = std::fopen(path.string().c_str(), "rb");
        ASSERT_NE(stream, nullptr);
        PictureReader reader(&fromStream);
        EXPECT_EQ(reader.readSections(stream), memory.result);
        std::fclose(stream);

        EXPECT_EQ(reader.thumbnailOffset(), memory.reader->thumbnailOffset());
        EXPECT_STREQ(reader.errorText(), memory.reader->errorText());
        EXPECT_EQ(reader.sectionCount(), memory.reader->sectionCount());
        fromMemory.thumbnailData = nullptr;
        fromStream.thumbnailData = nullptr;
        EXPECT_EQ(std::memcmp(&fromMemory, &fromStream, sizeof fromMemory), 0);
    }
}

} // namespace
} // namespace shotstamp::testing

// Feeds each input to the picture reader twice: as a whole file, and as the TIFF block of an Exif
// segment inside a minimal JPEG, so that the directory walk is reached without the fuzzer first
// having to find the segment layout. Broken record invariants abort like a sanitizer report.
#include "metadata/picture_reader.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

using shotstamp::MemoryByteSource;
using shotstamp::MemoryRandomSource;
using shotstamp::PictureReader;
using shotstamp::PictureRecord;
using shotstamp::SequentialReader;

void ignoreLine(std::string_view) {}

template <std::size_t N> void requireTerminated(const char (&text)[N]) {
    if (std::memchr(text, 0, N) == nullptr) {
        std::abort();
    }
}

void check(const PictureReader& reader) {
    const PictureRecord& r = reader.record();
    requireTerminated(r.exifVersion);
    requireTerminated(r.make);
    requireTerminated(r.model);
    requireTerminated(r.dateTimeOriginal);
    requireTerminated(r.comment);
    requireTerminated(r.subSecTimeOriginal);
    if (r.orientation < 0 || r.orientation > 8 || (r.flashFired != 0 && r.flashFired != 1) ||
        (r.threeComponents != 0 && r.threeComponents != 1) || reader.sectionCount() < 0 ||
        reader.sectionCount() > PictureReader::kMaxSections) {
        std::abort();
    }
    if ((r.thumbnailData == nullptr) != (r.thumbnailLength == 0)) {
        std::abort();
    }
    // Touch every thumbnail byte: the address sanitizer checks that they lie in a live buffer.
    unsigned sum = 0;
    for (std::int32_t i = 0; i < r.thumbnailLength; ++i) {
        sum += r.thumbnailData[i];
    }
    volatile unsigned sink = sum;
    (void)sink;
}

// Reads the whole file, then again as a rename scan does (at offsets, passing over the segments
// no date needs); both readings must end alike and find the same date.
void readFile(const std::uint8_t* data, std::size_t size) {
    MemoryByteSource source(data, size);
    PictureReader reader;
    const bool result = reader.readSections(source);
    check(reader);

    MemoryRandomSource random(data, size);
    // Half the inputs as a read-ahead worker reads them: the first 32 KiB in one piece.
    SequentialReader sequential(random, size % 2 != 0 ? SequentialReader::kLargestFirstRead
                                                      : SequentialReader::kBlock);
    PictureReader passing;
    passing.keepOnlyDateBytes();
    if (passing.readSections(sequential) != result ||
        passing.sectionCount() != reader.sectionCount() ||
        std::strcmp(passing.errorText(), reader.errorText()) != 0 ||
        std::strcmp(passing.record().dateTimeOriginal, reader.record().dateTimeOriginal) != 0) {
        std::abort();
    }
    check(passing);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    shotstamp::setReaderMessageSink(&ignoreLine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    readFile(data, size);

    constexpr std::size_t kMaxBlock = 65535 - 8;
    if (size <= kMaxBlock) {
        const std::size_t length = size + 8;
        std::vector<std::uint8_t> jpeg = {0xFF,
                                          0xD8,
                                          0xFF,
                                          0xE1,
                                          static_cast<std::uint8_t>(length >> 8),
                                          static_cast<std::uint8_t>(length & 0xFF),
                                          'E',
                                          'x',
                                          'i',
                                          'f',
                                          0,
                                          0};
        jpeg.insert(jpeg.end(), data, data + size);
        jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0x00, 0x02});
        readFile(jpeg.data(), jpeg.size());
    }
    return 0;
}

#pragma once

// Runs the picture reader over bytes held in memory and collects what it reports.

#include "jpeg_builder.h"
#include "metadata/picture_reader.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace shotstamp::testing {

struct ReadOutcome {
    std::unique_ptr<PictureReader> reader;
    std::unique_ptr<std::uint8_t[]> copy; // the input, in a buffer of exactly its size
    bool result = false;
    std::vector<std::string> lines; // the reader's console lines
    std::size_t consumed = 0;       // bytes taken from the source

    const PictureRecord& record() const { return reader->record(); }
    std::string errorText() const { return reader->errorText(); }
};

// How the reader gets its bytes: every segment read from a plain stream, or, as a rename scans,
// at offsets with the segments no date needs passed over (`consumed` is then not counted).
// `onlyDateBytesAtOnce` reads the first 32 KiB in one piece, as a read-ahead worker does.
enum class ReadMode { everySegment, onlyDateBytes, onlyDateBytesAtOnce };

// Reads `bytes` with a new reader (into `record` when given). The bytes are copied into a heap
// buffer of exactly their size so that the address sanitizer sees any read past the end.
ReadOutcome readBytes(const Bytes& bytes, PictureRecord* record = nullptr,
                      ReadMode mode = ReadMode::everySegment);

// A JPEG of SOI, one Exif segment holding `tiff`, a frame header and a scan.
Bytes jpegWithExif(const Bytes& tiff);

// Names the two byte orders of a test parameterised by `motorola`.
inline std::string byteOrderName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Motorola" : "Intel";
}

// Reads a JPEG made by jpegWithExif.
ReadOutcome readExif(const Bytes& tiff, PictureRecord* record = nullptr);

} // namespace shotstamp::testing

#include "reader_harness.h"

#include <algorithm>

namespace shotstamp::testing {

namespace {

std::vector<std::string>* capturedLines = nullptr;

void captureLine(std::string_view line) {
    if (capturedLines != nullptr) {
        capturedLines->emplace_back(line);
    }
}

} // namespace

ReadOutcome readBytes(const Bytes& bytes, PictureRecord* record, ReadMode mode) {
    ReadOutcome out;
    out.copy = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), out.copy.get());
    MemoryByteSource source(out.copy.get(), bytes.size());
    MemoryRandomSource random(out.copy.get(), bytes.size());
    SequentialReader sequential(random, mode == ReadMode::onlyDateBytesAtOnce
                                            ? SequentialReader::kLargestFirstRead
                                            : SequentialReader::kBlock);
    out.reader = std::make_unique<PictureReader>(record);
    capturedLines = &out.lines;
    setReaderMessageSink(&captureLine);
    if (mode != ReadMode::everySegment) {
        out.reader->keepOnlyDateBytes();
        out.result = out.reader->readSections(sequential);
    } else {
        out.result = out.reader->readSections(source);
        out.consumed = source.position();
    }
    setReaderMessageSink(nullptr);
    capturedLines = nullptr;
    return out;
}

Bytes jpegWithExif(const Bytes& tiff) {
    return JpegBuilder().soi().exif(tiff).sof(0xC0, 48, 64, 3).sos().bytes();
}

ReadOutcome readExif(const Bytes& tiff, PictureRecord* record) {
    return readBytes(jpegWithExif(tiff), record);
}

} // namespace shotstamp::testing

#pragma once

#include "byte_source.h"
#include "picture_record.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp {

// One JPEG marker segment kept in memory: `data` holds exactly `length` bytes, the two length
// bytes as they stand in the file followed by the payload.
struct JpegSection {
    std::unique_ptr<std::uint8_t[]> data;
    std::int32_t marker = 0;
    std::int32_t length = 0;
};

// Where the reader's two console conditions ("too many padding unsigned chars",
// "No image in jpeg!") go. The default writes the line and a line break to standard output;
// a program whose standard output is machine-readable installs its own sink at start-up.
using ReaderMessageSink = void (*)(std::string_view line);
void setReaderMessageSink(ReaderMessageSink sink);
void writeLineToStandardOutput(std::string_view line);
// Sends one line to the installed sink.
void writeReaderMessage(std::string_view line);

// While one of these lives on a thread, readers on that thread keep their console conditions in
// `lines` instead of sending them to the sink, so that whoever read a header ahead of time can
// write its lines later, in the order the pictures are handled.
class ReaderMessageCapture {
public:
    ReaderMessageCapture();
    ~ReaderMessageCapture();
    ReaderMessageCapture(const ReaderMessageCapture&) = delete;
    ReaderMessageCapture& operator=(const ReaderMessageCapture&) = delete;

    std::vector<std::string> lines;

private:
    ReaderMessageCapture* outer_;
};

// Reads the marker segments of one JPEG file up to the start of scan and fills a PictureRecord,
// decoding the Exif APP1 segment on the way. One reader reads one file.
class PictureReader {
public:
    static constexpr int kMaxSections = 20;
    static constexpr std::size_t kErrorTextSize = 256;
    // A walk refuses a directory it has already walked, and walks at most this many directories
    // per Exif segment; that bounds both loops and the depth of the recursion.
    static constexpr int kMaxDirectories = 32;

    // Without a record the reader makes a zero-filled one of its own and owns it; a record handed
    // in is used as it stands and stays the caller's.
    explicit PictureReader(PictureRecord* record = nullptr);
    ~PictureReader() = default;
    PictureReader(const PictureReader&) = delete;
    PictureReader& operator=(const PictureReader&) = delete;

    // True when the start-of-scan segment was reached. Called once per reader.
    bool readSections(std::FILE* file);
    bool readSections(ByteSource& source);

    // Decodes one Exif APP1 payload (the segment after its two length bytes) into the record.
    // `segmentLength` is the length as stored, counting the two length bytes. The payload must
    // hold segmentLength - 2 bytes and stay alive while the record's thumbnail is used; the
    // parse may overwrite trailing spaces of a UserComment in it.
    bool parseExif(std::uint8_t* payload, std::int32_t segmentLength);

    const PictureRecord& record() const { return *record_; }
    const char* errorText() const { return errorText_.data(); }
    int sectionCount() const { return sectionCount_; }
    const JpegSection& section(int index) const {
        return sections_[static_cast<std::size_t>(index)];
    }
    // Where the thumbnail starts inside the kept Exif segment's TIFF block, or -1 when none.
    std::int64_t thumbnailOffset() const;

    // Byte helpers, public so that they can be tested on their own.
    static std::uint16_t read16BigEndian(const std::uint8_t* p);
    std::uint16_t read16(const std::uint8_t* p) const;
    std::int32_t read32(const std::uint8_t* p) const;
    double valueAsNumber(const std::uint8_t* value, int format) const;

private:
    void takeFrameHeader(const std::uint8_t* buffer, std::int32_t length, int code);
    void takeComment(const std::uint8_t* buffer, std::int32_t length);
    bool walkDirectory(std::uint32_t offset);
    void setError(const char* message);
    void copyText(char* field, std::size_t limit, const std::uint8_t* value);
    void takeUserComment(std::uint8_t* value, std::uint64_t byteCount);

    std::unique_ptr<PictureRecord> ownedRecord_;
    PictureRecord* record_;
    std::array<char, kErrorTextSize> errorText_{};
    std::int32_t largestExifDimension_ = 0;
    std::int32_t motorolaOrder_ = 0;
    std::array<JpegSection, kMaxSections> sections_{};
    std::int32_t sectionCount_ = 0;

    // The TIFF block of the Exif segment being parsed.
    std::uint8_t* block_ = nullptr;
    std::uint32_t blockSize_ = 0;
    const std::uint8_t* thumbnailBlock_ = nullptr;
    std::array<std::uint32_t, kMaxDirectories> walked_{};
    int walkedCount_ = 0;
};

} // namespace shotstamp

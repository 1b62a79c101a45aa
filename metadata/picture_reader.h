#pragma once

#include "byte_source.h"
#include "capture_time.h"
#include "picture_record.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp {

// A marker segment kept in memory. `data` holds `length` bytes: first the segment's length field,
// high byte first and unchanged, then the payload.
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

// Walks a JPEG file segment by segment until its scan header, filling a PictureRecord and handing
// each Exif APP1 segment to the EXIF parser. A reader is used for a single file.
class PictureReader {
public:
    static constexpr int kMaxSections = 20;
    static constexpr std::size_t kErrorTextSize = 256;

    // Without a record the reader makes a zero-filled one of its own and owns it; a record handed
    // in is used as it stands and stays the caller's.
    explicit PictureReader(PictureRecord* record = nullptr);
    ~PictureReader() = default;
    PictureReader(const PictureReader&) = delete;
    PictureReader& operator=(const PictureReader&) = delete;

    // When asked before readSections, a reader that has kept its kMaxSections sections without
    // finding an Exif segment looks on through the following segments (keeping none of them)
    // for one, up to the scan. The result stays that of the limit.
    void lookForExifPastKeptSections() { lookPast_ = true; }
    // The reading stopped because kMaxSections sections were kept.
    bool sectionLimitReached() const { return sectionLimitReached_; }

    // The most of an XMP packet a reader hands out; one APP1 segment holds less anyway.
    static constexpr std::size_t kMaxXmpBytes = 65535;

    // Before reading: also copy every Exif segment's date texts into `texts` (a segment that
    // cannot be read leaves them as they were), and the first XMP packet of an APP1 segment into
    // `packet`. Either may be null; the segments the reader keeps stay the same.
    void setDateTexts(ExifDateTexts* texts) { dateTexts_ = texts; }
    void setXmpPacket(std::string* packet) { xmpPacket_ = packet; }
    // Before reading: leave the record's comment empty. Renaming never shows it, and copying it
    // byte by byte was a tenth of a rename run's own work.
    void skipComment() { skipComment_ = true; }
    // Before reading: pass over the bodies of the segments no date or size comes from (tables,
    // thumbnails of other kinds, maker data) instead of reading them. They are still counted as
    // kept, with their marker and length but no bytes.
    void keepOnlyDateBytes() { keepOnlyDateBytes_ = true; }

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
    // How many Exif segments the file held, whether or not they could be read.
    int exifSegmentCount() const { return exifSegmentCount_; }

    static std::uint16_t read16BigEndian(const std::uint8_t* p);

private:
    void takeFrameHeader(const std::uint8_t* buffer, std::int32_t length, int code);
    void takeComment(const std::uint8_t* buffer, std::int32_t length);
    void takeExifSegment(std::uint8_t* payload, std::int32_t length);
    void takeXmpPacket(const std::uint8_t* payload, std::int32_t length);
    void setError(const char* message);
    void findExifPastKeptSections(ByteSource& source);
    bool holdsDateBytes(int code, bool commentTaken) const;

    std::unique_ptr<PictureRecord> ownedRecord_;
    PictureRecord* record_;
    std::array<char, kErrorTextSize> errorText_{};
    std::array<JpegSection, kMaxSections> sections_{};
    std::int32_t sectionCount_ = 0;
    int exifSegmentCount_ = 0;
    bool exifParsed_ = false; // some Exif segment of the file could be read
    const std::uint8_t* thumbnailBlock_ = nullptr;
    bool lookPast_ = false;
    bool skipComment_ = false;
    bool keepOnlyDateBytes_ = false;
    bool sectionLimitReached_ = false;
    std::unique_ptr<std::uint8_t[]> lateExif_; // the Exif segment found past the kept sections
    ExifDateTexts* dateTexts_ = nullptr;
    std::string* xmpPacket_ = nullptr;
    bool xmpTaken_ = false;
};

} // namespace shotstamp

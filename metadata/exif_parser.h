#pragma once

// Decoding of one Exif APP1 segment: a checked view of its TIFF block, and the walk over the
// directories that the block links together.

#include "capture_time.h"
#include "picture_record.h"

#include <array>
#include <cstdint>
#include <span>

namespace shotstamp {

// The TIFF block of an Exif segment, read only through bounds checks. Every read names an offset
// and a size; one that would reach outside the block yields 0 (or an empty span) and touches
// nothing. Sizes are compared in 64 bits, so no offset plus size can wrap around.
class TiffView {
public:
    TiffView() = default;
    TiffView(std::uint8_t* data, std::uint32_t size) : data_(data), size_(size) {}

    std::uint32_t size() const { return size_; }
    bool motorolaOrder() const { return motorola_; }
    void setMotorolaOrder(bool motorola) { motorola_ = motorola; }

    // True when the `n` bytes from `offset` on lie wholly inside the block.
    bool fits(std::uint64_t offset, std::uint64_t n) const {
        return offset <= size_ && n <= size_ - offset;
    }
    // 16 and 32 bits in the block's byte order.
    std::uint16_t read16(std::uint64_t offset) const;
    std::uint32_t read32(std::uint64_t offset) const;
    // The `n` bytes from `offset` on, writable in place; empty unless they all fit.
    std::span<std::uint8_t> bytes(std::uint64_t offset, std::uint64_t n) const;
    // The first component of the value at `offset` read as a number of the given TIFF format;
    // 0 for ASCII, UNDEFINED, unknown formats and a component that does not fit.
    double number(std::uint64_t offset, int format) const;

private:
    std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    bool motorola_ = false;
};

// One directory entry as stored, with where its value lies.
struct ExifEntry {
    std::uint16_t tag = 0;
    std::uint16_t format = 0;
    std::uint32_t count = 0;
    std::uint64_t byteCount = 0;   // count times the format's component size
    std::uint32_t valueOffset = 0; // inside the entry itself for values of four bytes or fewer
};

// Walks the directories of one Exif segment and writes what it recognises into a record. A
// directory is refused when it is already on the path that led to it (a loop) and once a
// segment has used up its budget of directories, so that shared directories are read again
// while no file can make the walk endless or its cost explode.
class ExifParser {
public:
    static constexpr int kMaxDirectories = 32;

    explicit ExifParser(PictureRecord& record) : record_(record) {}

    // `payload` is the segment after its length bytes, `segmentLength` the length as stored.
    // True when the headers are sound and the first directory's own walk succeeded.
    bool parse(std::uint8_t* payload, std::int32_t segmentLength);
    // The same for a TIFF block found anywhere else (a HEIF item, a RAW file, a PNG chunk):
    // `tiff` starts at the byte-order mark and holds `size` bytes. The record's flash and
    // comment fields are reset by parse() only.
    bool parseTiff(std::uint8_t* tiff, std::uint32_t size);

    // Asks the walk to copy the block's date texts, the GPS directory's included, into `texts`
    // as well. Without this call the GPS directory is never walked and nothing else changes.
    void setDateTexts(ExifDateTexts* texts) { dateTexts_ = texts; }

    // The last problem met, also after a successful parse; null when there was none.
    const char* message() const { return message_; }
    // Whether the record's thumbnail now points into this segment's block.
    bool thumbnailFound() const { return thumbnailFound_; }

private:
    // What one directory's walk gathers for itself.
    enum class Directory : std::uint8_t { first, linked, gps };
    struct DirectoryState {
        Directory kind = Directory::linked;
        std::int32_t thumbnailOffset = 0;
        std::int32_t thumbnailLength = 0;
    };

    bool walkDirectory(std::uint32_t offset, Directory kind);
    bool walkEntries(std::uint32_t offset, std::uint32_t count, DirectoryState& state);
    bool decodeEntry(std::uint64_t at, ExifEntry& entry);
    void act(const ExifEntry& entry, DirectoryState& state);
    void actOnSpecialTag(const ExifEntry& entry, double number, DirectoryState& state);
    void followLink(std::uint32_t link, Directory kind = Directory::linked);
    void takeDateText(const ExifEntry& entry, Directory kind);
    void takeGpsEntry(const ExifEntry& entry);
    void copyText(std::span<char> field, const ExifEntry& entry);
    void takeUserComment(const ExifEntry& entry);
    bool note(const char* message);

    PictureRecord& record_;
    TiffView block_;
    const char* message_ = nullptr;
    std::int32_t largestExifDimension_ = 0;
    std::array<std::uint32_t, kMaxDirectories> path_{};
    int depth_ = 0;
    int directoriesWalked_ = 0;
    bool thumbnailFound_ = false;
    ExifDateTexts* dateTexts_ = nullptr;
};

} // namespace shotstamp

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
    TiffView(std::uint8_t* data, std::uint32_t size) : data_(data), size_(size), held_(size) {}
    // A block of `size` bytes of which only the first `held` are in memory: offsets are checked
    // against the whole block as ever, and a read that fits it but reaches past the bytes held
    // yields 0 (or an empty span) and marks the view missed(), so the caller can read it all.
    TiffView(std::uint8_t* data, std::uint32_t size, std::uint32_t held)
        : data_(data), size_(size), held_(held < size ? held : size) {}

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

    // Whether a read reached past the bytes held.
    bool missed() const { return missed_; }
    // Whether the `n` bytes from `offset` on are held; marks nothing.
    bool holds(std::uint64_t offset, std::uint64_t n) const {
        return n <= held_ && offset <= held_ - n;
    }
    // Marks as missed any later read of these bytes: the whole block's walk would have changed
    // them in place (a comment's trimmed blanks) before such a read.
    void guard(std::uint64_t offset, std::uint64_t n);

private:
    // holds(), marking the view missed when not; a read of nothing needs nothing.
    bool take(std::uint64_t offset, std::uint64_t n) const;

    std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t held_ = 0;
    std::uint64_t guardFrom_ = 0; // [guardFrom_, guardTo_): every guarded range at once
    std::uint64_t guardTo_ = 0;
    bool motorola_ = false;
    mutable bool missed_ = false;
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
    // The same for a block of `size` bytes of which only the first `held` are in memory; when
    // missed() afterwards, the result is not the whole block's and the caller reads it all.
    bool parseTiff(std::uint8_t* tiff, std::uint32_t size, std::uint32_t held);
    bool missed() const { return block_.missed(); }

    // Asks the walk to read no value that the date texts (setDateTexts) do not need: the record
    // then gets only its DateTimeOriginal and SubSecTimeOriginal, and a block held in part is
    // rarely missed for a maker note or a comment far from the dates.
    void setDatesOnly(bool datesOnly) { datesOnly_ = datesOnly; }

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
    void actForDates(const ExifEntry& entry);
    void actOnSpecialTag(const ExifEntry& entry, double number, DirectoryState& state);
    void followLink(std::uint32_t link, Directory kind = Directory::linked);
    // Follows the entry when it points to another directory; false for any other tag.
    bool followPointer(const ExifEntry& entry);
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
    bool datesOnly_ = false;
};

} // namespace shotstamp

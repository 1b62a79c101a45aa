#include "tiff_raw.h"

#include "metadata/exif_parser.h"
#include "metadata/picture_record.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace shotstamp {

namespace {

// The first bytes are read at once: they hold the header and, in most files, every directory
// the date needs, so that the many small value reads cost no further call.
constexpr std::size_t kHeadSize = 16 * 1024;
constexpr std::uint32_t kEntrySize = 12;
constexpr std::uint32_t kMaxEntries = 1024;
constexpr std::uint64_t kMaxValueSize = 64 * 1024;
constexpr int kMaxDepth = 3; // IFD0, then Exif or GPS, then Interoperability
constexpr std::size_t kMaxDirectories = 8;

constexpr std::uint16_t kExifPointer = 0x8769;
constexpr std::uint16_t kGpsPointer = 0x8825;
constexpr std::uint16_t kInteropPointer = 0xA005;

// Bytes per component of the twelve TIFF formats; 0 marks an unknown one.
constexpr std::array<std::uint32_t, 13> kFormatSize = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

// Bulky values that never hold a date: maker notes, colour profiles, image data layouts.
bool isBulkyTag(std::uint32_t tag) {
    switch (tag) {
    case 0x927C: // MakerNote
    case 0x8773: // ICC profile
    case 0x83BB: // IPTC
    case 0x02BC: // XMP
    case 0x0111: // StripOffsets
    case 0x0117: // StripByteCounts
    case 0x0144: // TileOffsets
    case 0x0145: // TileByteCounts
    case 0x014A: // SubIFDs
    case 0xC634: // DNGPrivateData
        return true;
    default:
        return false;
    }
}

// Copies the directories of a file, and the values they point at, into one compact TIFF block
// whose offsets are rewritten to their new places. The EXIF parser then reads that block as it
// reads any other, while only directories and their values were read from the file, wherever
// they lie in it.
class DirectoryCopier {
public:
    DirectoryCopier(RandomAccessSource& source, std::vector<std::uint8_t> head, bool motorola)
        : source_(source), head_(std::move(head)), motorola_(motorola) {}

    // The compact block, or false with `problem()` set when the first directory is unreadable.
    bool copy(std::uint32_t firstDirectory, std::vector<std::uint8_t>& block) {
        block_.assign(head_.begin(), head_.begin() + 4);
        block_[2] = motorola_ ? 0 : 42; // RAW variants' magic becomes the plain one
        block_[3] = motorola_ ? 42 : 0;
        block_.resize(8);
        const std::uint32_t place = copyDirectory(firstDirectory, 0);
        if (place == 0) {
            return false;
        }
        write32(4, place);
        block = std::move(block_);
        return true;
    }
    const char* problem() const { return problem_; }

private:
    struct Pending {
        std::size_t entry;    // index among the kept entries
        std::uint32_t offset; // in the file
        std::uint32_t size;   // value bytes; 0 for a directory pointer
    };

    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
        if (n == 0) {
            return true;
        }
        if (offset <= head_.size() && n <= head_.size() - offset) {
            std::memcpy(out, head_.data() + offset, n);
            return true;
        }
        return source_.readExactly(offset, out, n);
    }
    std::uint32_t get16(const std::uint8_t* p) const {
        return motorola_ ? readBig16(p) : readLittle16(p);
    }
    std::uint32_t get32(const std::uint8_t* p) const {
        return motorola_ ? readBig32(p) : readLittle32(p);
    }
    void put32(std::uint8_t* p, std::uint32_t v) const {
        for (int i = 0; i < 4; ++i) {
            p[motorola_ ? 3 - i : i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    void write32(std::size_t at, std::uint32_t v) { put32(block_.data() + at, v); }
    std::uint32_t fail(const char* problem) {
        problem_ = problem;
        return 0;
    }

    // Returns where the copy of the directory at `offset` starts in the block, or 0.
    std::uint32_t copyDirectory(std::uint32_t offset, int depth) {
        if (depth >= kMaxDepth || visited_.size() == kMaxDirectories ||
            std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) {
            return fail("repeated or too many TIFF directories");
        }
        visited_.push_back(offset);
        std::array<std::uint8_t, 2> countBytes{};
        if (!read(offset, countBytes.data(), 2)) {
            return fail("a TIFF directory lies past the end of the file");
        }
        const std::uint32_t count = get16(countBytes.data());
        if (count > kMaxEntries) {
            return fail("a TIFF directory has too many entries");
        }
        std::vector<std::uint8_t> entries(std::size_t{count} * kEntrySize);
        if (!read(std::uint64_t{offset} + 2, entries.data(), entries.size())) {
            return fail("a TIFF directory is cut short by the end of the file");
        }

        std::vector<std::array<std::uint8_t, kEntrySize>> kept;
        std::vector<Pending> pending;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::array<std::uint8_t, kEntrySize> entry{};
            std::memcpy(entry.data(), entries.data() + std::size_t{i} * kEntrySize, kEntrySize);
            const std::uint32_t tag = get16(entry.data());
            const std::uint32_t format = get16(entry.data() + 2);
            if (format == 0 || format >= kFormatSize.size()) {
                continue; // the parser refuses a directory holding one
            }
            const std::uint64_t size = std::uint64_t{get32(entry.data() + 4)} * kFormatSize[format];
            const std::uint32_t field = get32(entry.data() + 8);
            if (tag == kExifPointer || tag == kGpsPointer || tag == kInteropPointer) {
                pending.push_back({kept.size(), field, 0});
            } else if (size > 4) {
                if (size > kMaxValueSize || isBulkyTag(tag)) {
                    continue;
                }
                pending.push_back({kept.size(), field, static_cast<std::uint32_t>(size)});
            }
            kept.push_back(entry);
        }

        // Directories first, then the values, then this directory: a pointer that leads nowhere
        // drops its entry, so the parser never sees it.
        std::vector<bool> dropped(kept.size(), false);
        for (const Pending& p : pending) {
            if (p.size == 0) {
                const std::uint32_t place = copyDirectory(p.offset, depth + 1);
                dropped[p.entry] = place == 0;
                put32(kept[p.entry].data() + 8, place);
            }
        }
        for (const Pending& p : pending) {
            if (p.size == 0) {
                continue;
            }
            block_.resize(block_.size() + (block_.size() & 1U));
            const std::size_t place = block_.size();
            block_.resize(place + p.size);
            if (block_.size() > kMaxMetadataBlock ||
                !read(p.offset, block_.data() + place, p.size)) {
                block_.resize(place);
                dropped[p.entry] = true;
                continue;
            }
            put32(kept[p.entry].data() + 8, static_cast<std::uint32_t>(place));
        }

        block_.resize(block_.size() + (block_.size() & 1U));
        const std::size_t place = block_.size();
        const auto keptCount =
            static_cast<std::uint32_t>(std::count(dropped.begin(), dropped.end(), false));
        block_.resize(place + 2 + std::size_t{keptCount} * kEntrySize + 4, 0);
        block_[place + (motorola_ ? 0 : 1)] = static_cast<std::uint8_t>(keptCount >> 8);
        block_[place + (motorola_ ? 1 : 0)] = static_cast<std::uint8_t>(keptCount & 0xFF);
        std::size_t at = place + 2;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (!dropped[i]) {
                std::memcpy(block_.data() + at, kept[i].data(), kEntrySize);
                at += kEntrySize;
            }
        }
        return static_cast<std::uint32_t>(place); // the next-directory field stays 0
    }

    RandomAccessSource& source_;
    std::vector<std::uint8_t> head_;
    bool motorola_;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint32_t> visited_;
    const char* problem_ = nullptr;
};

} // namespace

bool readMetadataBlock(RandomAccessSource& source, std::uint64_t offset, std::uint64_t n,
                       std::vector<std::uint8_t>& block, ExtractedMetadata& out) {
    if (n > kMaxMetadataBlock) {
        out.message = "a metadata block is larger than 1 MiB";
        return false;
    }
    block.resize(static_cast<std::size_t>(n));
    if (n != 0 && !source.readExactly(offset, block.data(), block.size())) {
        out.message = "a metadata block is cut short by the end of the file";
        return false;
    }
    return true;
}

bool extractTiffRaw(RandomAccessSource& source, ExtractedMetadata& out) {
    out.container = ContainerKind::tiff;
    std::vector<std::uint8_t> head(
        static_cast<std::size_t>(std::min<std::uint64_t>(source.size(), kHeadSize)));
    if (head.size() < 8 || !source.readExactly(0, head.data(), head.size())) {
        out.message = "the file is too short for a TIFF header";
        return false;
    }
    const bool intel = head[0] == 'I' && head[1] == 'I';
    const bool motorola = head[0] == 'M' && head[1] == 'M';
    const std::uint32_t magic = motorola ? readBig16(&head[2]) : readLittle16(&head[2]);
    const bool knownMagic =
        magic == 42 || (intel && (magic == 0x4F52 || magic == 0x5253 || magic == 0x0055));
    if ((!intel && !motorola) || !knownMagic) {
        out.message = "not a TIFF header";
        return false;
    }
    const std::uint32_t first = motorola ? readBig32(&head[4]) : readLittle32(&head[4]);
    DirectoryCopier copier(source, std::move(head), motorola);
    std::vector<std::uint8_t> block;
    if (first < 8 || !copier.copy(first, block)) {
        out.message = copier.problem() != nullptr ? copier.problem()
                                                  : "the first TIFF directory offset is invalid";
        return false;
    }
    const bool read = captureFromTiff(block.data(), static_cast<std::uint32_t>(block.size()), out);
    if (!out.capture.found() && copier.problem() != nullptr) {
        out.message = copier.problem(); // why the Exif directory was not reached
    }
    return read;
}

} // namespace shotstamp

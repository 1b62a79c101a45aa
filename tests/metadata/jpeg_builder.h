#pragma once

// Builds exact JPEG and TIFF/EXIF bytes for tests, in either byte order. Header-only so that the
// fuzz seed writer can use it too.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shotstamp::testing {

using Bytes = std::vector<std::uint8_t>;

enum Format : std::uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSByte = 6,
    kUndefined = 7,
    kSShort = 8,
    kSLong = 9,
    kSRational = 10,
    kFloat = 11,
    kDouble = 12,
};

inline Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// One directory entry. `data` holds the value bytes already in the block's byte order; it goes
// into the entry when it has at most four bytes, else after the directory. `rawField` replaces
// the entry's last four bytes outright (for offsets that point anywhere), `link` makes the entry
// point at another directory of the same block.
struct Entry {
    Entry(std::uint16_t tag_, std::uint16_t format_, std::uint32_t count_, Bytes data_ = {},
          std::optional<std::uint32_t> rawField_ = std::nullopt)
        : tag(tag_), format(format_), count(count_), data(std::move(data_)), rawField(rawField_) {}

    std::uint16_t tag;
    std::uint16_t format;
    std::uint32_t count;
    Bytes data;
    std::optional<std::uint32_t> rawField;
    int link = -1;
};

struct Directory {
    Directory(std::vector<Entry> entries_ = {}, int next_ = -1)
        : entries(std::move(entries_)), next(next_) {}

    std::vector<Entry> entries;
    int next;                              // index of the next directory, -1 for none
    std::optional<std::uint32_t> rawNext;  // the next-directory field as stored
    std::optional<std::uint32_t> atOffset; // place the directory here instead of in sequence
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool motorola) : motorola_(motorola) {}

    bool motorola() const { return motorola_; }

    Bytes u16(std::uint32_t v) const {
        const auto a = static_cast<std::uint8_t>(v & 0xFF);
        const auto b = static_cast<std::uint8_t>((v >> 8) & 0xFF);
        return motorola_ ? Bytes{b, a} : Bytes{a, b};
    }
    Bytes u32(std::uint32_t v) const {
        Bytes out(4);
        for (int i = 0; i < 4; ++i) {
            const auto byte = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
            out[static_cast<std::size_t>(motorola_ ? 3 - i : i)] = byte;
        }
        return out;
    }
    Bytes u64(std::uint64_t v) const {
        Bytes out(8);
        for (int i = 0; i < 8; ++i) {
            const auto byte = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
            out[static_cast<std::size_t>(motorola_ ? 7 - i : i)] = byte;
        }
        return out;
    }

    Entry shortEntry(std::uint16_t tag, std::uint32_t v) const { return {tag, kShort, 1, u16(v)}; }
    Entry longEntry(std::uint16_t tag, std::uint32_t v) const { return {tag, kLong, 1, u32(v)}; }
    Entry rational(std::uint16_t tag, std::uint32_t num, std::uint32_t den) const {
        return {tag, kRational, 1, concat({u32(num), u32(den)})};
    }
    Entry srational(std::uint16_t tag, std::int32_t num, std::int32_t den) const {
        return {
            tag, kSRational, 1,
            concat({u32(static_cast<std::uint32_t>(num)), u32(static_cast<std::uint32_t>(den))})};
    }
    Entry floatEntry(std::uint16_t tag, float v) const {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &v, 4);
        return {tag, kFloat, 1, u32(bits)};
    }
    Entry doubleEntry(std::uint16_t tag, double v) const {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, 8);
        return {tag, kDouble, 1, u64(bits)};
    }
    // ASCII value with its terminating zero, as cameras store it.
    Entry ascii(std::uint16_t tag, std::string_view text) const {
        Bytes data = bytesOf(text);
        data.push_back(0);
        return {tag, kAscii, static_cast<std::uint32_t>(data.size()), data};
    }
    Entry undefined(std::uint16_t tag, const Bytes& data) const {
        return {tag, kUndefined, static_cast<std::uint32_t>(data.size()), data};
    }
    static Entry pointer(std::uint16_t tag, int directory) {
        Entry e{tag, kLong, 1, {}};
        e.link = directory;
        return e;
    }

    // Lays the directories out after an 8-byte header (directory 0 at offset 8 unless placed),
    // each followed by its out-of-line values, and resolves links. `firstOffset` is the header's
    // first-directory field.
    Bytes build(const std::vector<Directory>& dirs, std::uint32_t firstOffset = 8) const {
        Bytes block = motorola_ ? bytesOf("MM") : bytesOf("II");
        append(block, u16(42));
        append(block, u32(firstOffset));
        std::vector<std::uint32_t> offsets(dirs.size(), 0);
        // First pass: sizes and positions.
        std::size_t pos = block.size();
        for (std::size_t d = 0; d < dirs.size(); ++d) {
            if (dirs[d].atOffset) {
                offsets[d] = *dirs[d].atOffset;
                continue;
            }
            offsets[d] = static_cast<std::uint32_t>(pos);
            pos += footprint(dirs[d]);
        }
        std::size_t end = pos;
        for (std::size_t d = 0; d < dirs.size(); ++d) {
            end = std::max<std::size_t>(end, offsets[d] + footprint(dirs[d]));
        }
        block.resize(end, 0);
        for (std::size_t d = 0; d < dirs.size(); ++d) {
            const Directory& dir = dirs[d];
            std::size_t at = offsets[d];
            std::size_t extra = at + 2 + 12 * dir.entries.size() + 4;
            put(block, at, u16(static_cast<std::uint32_t>(dir.entries.size())));
            for (std::size_t i = 0; i < dir.entries.size(); ++i) {
                const Entry& e = dir.entries[i];
                const std::size_t ep = at + 2 + 12 * i;
                put(block, ep, u16(e.tag));
                put(block, ep + 2, u16(e.format));
                put(block, ep + 4, u32(e.count));
                Bytes field(4, 0);
                if (e.link >= 0) {
                    field = u32(offsets[static_cast<std::size_t>(e.link)]);
                } else if (e.data.size() <= 4) {
                    for (std::size_t k = 0; k < e.data.size(); ++k) {
                        field[k] = e.data[k];
                    }
                } else {
                    field = u32(static_cast<std::uint32_t>(extra));
                    put(block, extra, e.data);
                    extra += e.data.size();
                }
                if (e.rawField) {
                    field = u32(*e.rawField);
                }
                put(block, ep + 8, field);
            }
            std::uint32_t next = 0;
            if (dir.next >= 0) {
                next = offsets[static_cast<std::size_t>(dir.next)];
            }
            if (dir.rawNext) {
                next = *dir.rawNext;
            }
            put(block, at + 2 + 12 * dir.entries.size(), u32(next));
        }
        return block;
    }

    static std::size_t footprint(const Directory& dir) {
        std::size_t size = 2 + 12 * dir.entries.size() + 4;
        for (const Entry& e : dir.entries) {
            if (e.link < 0 && e.data.size() > 4) {
                size += e.data.size();
            }
        }
        return size;
    }

    static void append(Bytes& out, const Bytes& more) {
        out.insert(out.end(), more.begin(), more.end());
    }
    static void put(Bytes& out, std::size_t at, const Bytes& more) {
        if (out.size() < at + more.size()) {
            out.resize(at + more.size(), 0);
        }
        for (std::size_t k = 0; k < more.size(); ++k) {
            out[at + k] = more[k];
        }
    }

private:
    bool motorola_;
};

// The Exif APP1 payload for a TIFF block: "Exif", two zero bytes, the block.
inline Bytes exifPayload(const Bytes& tiff) {
    return concat({bytesOf(std::string_view("Exif\0\0", 6)), tiff});
}

// A JPEG byte stream, segment by segment.
class JpegBuilder {
public:
    JpegBuilder& soi() { return raw({0xFF, 0xD8}); }
    JpegBuilder& raw(const Bytes& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return *this;
    }
    // FF code, then the length (payload + 2, high byte first), then the payload.
    JpegBuilder& segment(std::uint8_t code, const Bytes& payload) {
        const std::size_t length = payload.size() + 2;
        raw({0xFF, code, static_cast<std::uint8_t>((length >> 8) & 0xFF),
             static_cast<std::uint8_t>(length & 0xFF)});
        return raw(payload);
    }
    JpegBuilder& exif(const Bytes& tiff) { return segment(0xE1, exifPayload(tiff)); }
    JpegBuilder& com(std::string_view text) { return segment(0xFE, bytesOf(text)); }
    JpegBuilder& sof(std::uint8_t code, std::uint16_t height, std::uint16_t width,
                     std::uint8_t components) {
        Bytes p{8,
                static_cast<std::uint8_t>(height >> 8),
                static_cast<std::uint8_t>(height & 0xFF),
                static_cast<std::uint8_t>(width >> 8),
                static_cast<std::uint8_t>(width & 0xFF),
                components};
        for (std::uint8_t c = 0; c < components; ++c) {
            p.insert(p.end(), {static_cast<std::uint8_t>(c + 1), 0x11, 0});
        }
        return segment(code, p);
    }
    // A one-component scan header, then a few bytes of "compressed data" and EOI.
    JpegBuilder& sos() {
        segment(0xDA, {1, 1, 0, 0, 63, 0});
        return raw({0x12, 0x34, 0x56, 0xFF, 0xD9});
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

} // namespace shotstamp::testing

// The ISO base media file walker. Box headers are read through a small window over the source;
// a box is loaded into memory only when it holds metadata, and only up to a fixed size, so that
// the cost of a file depends on where its metadata lies, never on how big its media data is.
#include "isobmff.h"

#include "container.h"
#include "metadata/byte_source.h"
#include "metadata/picture_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace shotstamp {

namespace {

using namespace isobmff;
using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::uint8_t, 16> kCanonUuid = {
    0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0, 0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
constexpr std::size_t kWindowSize = 8192;
constexpr std::size_t kMaxXmp = 256U << 10;
// The first bytes of an Exif item read at first: cameras put the directories and their date
// values ahead of the maker note, which makes up most of a large item. A date beyond them costs
// a second read of the whole item.
constexpr std::size_t kExifItemHead = 4096;
// Seconds from 1904-01-01 (the QuickTime epoch) to 1970-01-01.
constexpr std::int64_t kQuickTimeToUnix = 2082844800;

std::uint64_t bigEndian(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// Reads big-endian numbers and texts from a buffer; a read past its end yields 0 and clears ok.
struct Cursor {
    std::span<const std::uint8_t> data;
    std::size_t at = 0;
    bool ok = true;

    std::uint64_t take(std::size_t n) {
        if (!ok || n > 8 || n > data.size() - at) {
            ok = false;
            return 0;
        }
        const std::uint64_t v = bigEndian(data.data() + at, static_cast<int>(n));
        at += n;
        return v;
    }
    std::string_view cString() {
        const auto* begin = reinterpret_cast<const char*>(data.data() + at);
        const std::size_t left = data.size() - at;
        const std::size_t n = std::find(begin, begin + left, '\0') - begin;
        at += std::min(left, n + 1);
        return {begin, n};
    }
    std::span<const std::uint8_t> rest() const { return data.subspan(at); }
};

struct Box {
    std::uint64_t start = 0;
    std::uint64_t payload = 0; // after the size, type and, for "uuid", the user type
    std::uint64_t end = 0;
    std::array<char, 4> type{};
    std::array<std::uint8_t, 16> userType{};

    bool is(const char* name) const { return std::memcmp(type.data(), name, 4) == 0; }
    std::uint64_t payloadSize() const { return end - payload; }
};

// Decodes a box header from up to 32 bytes read at `at`, checking its size against the space
// its parent leaves (`limit`). Null when the header is sound, else the reason.
const char* decodeHeader(const std::uint8_t* p, std::size_t available, std::uint64_t at,
                         std::uint64_t limit, Box& box) {
    if (available < 8) {
        return "a box header is cut short";
    }
    box.start = at;
    std::memcpy(box.type.data(), p + 4, 4);
    const std::uint64_t size32 = bigEndian(p, 4);
    std::uint64_t header = 8;
    std::uint64_t size = size32;
    if (size32 == 1) {
        if (available < 16) {
            return "a 64-bit box size is cut short";
        }
        size = bigEndian(p + 8, 8);
        header = 16;
    } else if (size32 == 0) {
        size = limit - at; // to the end of the file or of the enclosing box
    }
    if (box.is("uuid")) {
        if (available < header + 16) {
            return "a uuid box header is cut short";
        }
        std::memcpy(box.userType.data(), p + header, 16);
        header += 16;
    }
    if (size < header) {
        return "a box is smaller than its own header";
    }
    if (size > limit - at) {
        return "a box runs past the end of the box or file holding it";
    }
    box.payload = at + header;
    box.end = at + size;
    return nullptr;
}

// Calls `visit(box)` for every box in [begin, end) of an in-memory buffer whose first byte lies
// at file offset `base`; false (with the reason) when a header is broken.
template <class Visit>
bool forEachInMemory(std::span<const std::uint8_t> bytes, std::size_t begin, const char*& why,
                     Visit&& visit) {
    std::size_t at = begin;
    for (int count = 0; at < bytes.size(); ++count) {
        if (count == kMaxChildren) {
            why = "too many boxes in one box";
            return false;
        }
        Box box;
        why = decodeHeader(bytes.data() + at, std::min<std::size_t>(32, bytes.size() - at), at,
                           bytes.size(), box);
        if (why != nullptr) {
            return false;
        }
        visit(box);
        at = static_cast<std::size_t>(box.end);
    }
    return true;
}

std::span<const std::uint8_t> payloadOf(std::span<const std::uint8_t> bytes, const Box& box) {
    return bytes.subspan(static_cast<std::size_t>(box.payload),
                         static_cast<std::size_t>(box.payloadSize()));
}

// A date of ISO 8601 as videos write it: "2022-09-23T18:28:38+09:00" (or +0900, Z, or no
// zone; a fraction of a second may follow the seconds; a date alone is a day without a time).
bool parseIsoDateTime(std::string_view text, CaptureTime& out) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    CaptureTime t;
    if (text.size() < 10 || !readDigits(text, 0, 4, t.year) || (text[4] != '-' && text[4] != ':') ||
        !readDigits(text, 5, 2, t.month) || text[7] != text[4] || !readDigits(text, 8, 2, t.day)) {
        return false;
    }
    if (text.size() == 10) {
        t.hasTime = false;
        if (!isRealDateTime(t.year, t.month, t.day, 0, 0, 0)) {
            return false;
        }
        out = t;
        return true;
    }
    if ((text[10] != 'T' && text[10] != ' ') || !readDigits(text, 11, 2, t.hour) ||
        text.size() < 19 || text[13] != ':' || !readDigits(text, 14, 2, t.minute) ||
        text[16] != ':' || !readDigits(text, 17, 2, t.second) ||
        !isRealDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second)) {
        return false;
    }
    std::size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        const std::size_t from = ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        t.subseconds = std::string(text.substr(from, at - from));
    }
    const std::string_view zone = text.substr(at);
    int hours = 0;
    int minutes = 0;
    if (zone == "Z") {
        t.isUtc = true;
    } else if (!zone.empty()) {
        const bool colon = zone.size() == 6 && zone[3] == ':';
        if ((zone[0] != '+' && zone[0] != '-') || (zone.size() != 5 && !colon) ||
            !readDigits(zone, 1, 2, hours) || !readDigits(zone, colon ? 4 : 3, 2, minutes) ||
            minutes > 59 || hours * 60 + minutes > 18 * 60) {
            return false;
        }
        t.hasOffset = true;
        t.offsetMinutes = (zone[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    }
    out = t;
    return true;
}

// What a movie box says about its capture time, by source; the best one wins at the end.
struct MovieDates {
    std::optional<CaptureTime> keys;
    std::optional<CaptureTime> embeddedExif;
    std::optional<CaptureTime> year;
    std::optional<CaptureTime> header;
};

class Walker {
public:
    Walker(RandomAccessSource& source, ExtractedMetadata& out, const ExtractOptions& options)
        : source_(source), out_(out), options_(options) {}

    bool run();

private:
    bool note(const char* why) {
        out_.message = why != nullptr ? why : "a box is broken";
        return false;
    }
    // Reads through a window, so that neighbouring headers cost one read.
    bool read(std::uint64_t at, std::uint8_t* p, std::size_t n);
    // Reads from the window when it holds the bytes, else exactly them, leaving the window be.
    bool readData(std::uint64_t at, std::uint8_t* p, std::size_t n);
    bool readHeader(std::uint64_t at, std::uint64_t limit, Box& box);
    template <class Visit> bool forEachChild(std::uint64_t begin, std::uint64_t end, Visit&& visit);
    bool load(const Box& box, Bytes& bytes);

    void heifMeta(const Box& meta);
    bool readItem(std::uint32_t id, std::span<const std::uint8_t> iloc, const Box* idat,
                  std::size_t limit, std::size_t want, Bytes& data, std::uint64_t& size);
    bool exifItem(Bytes& data, std::uint64_t size);
    void movie(const Box& moov, int depth);
    void canonUuid(const Box& uuid);
    void quickTimeMeta(const Box& meta);
    void canonThumbnail(const Box& cnth);
    void finishMovie();

    RandomAccessSource& source_;
    ExtractedMetadata& out_;
    const ExtractOptions& options_;
    std::array<std::uint8_t, kWindowSize> window_{};
    std::uint64_t windowStart_ = 0;
    std::size_t windowFilled_ = 0;
    bool captureFound_ = false;
    MovieDates dates_;
};

bool Walker::read(std::uint64_t at, std::uint8_t* p, std::size_t n) {
    if (n == 0) {
        return true; // an empty box: nothing to copy, and `p` may be null
    }
    if (n > window_.size()) {
        return source_.readExactly(at, p, n);
    }
    if (at < windowStart_ || at - windowStart_ + n > windowFilled_) {
        // No further than the file's end: a read past it costs a call that returns nothing.
        const std::uint64_t left = at < source_.size() ? source_.size() - at : 0;
        windowStart_ = at;
        windowFilled_ =
            source_.readAt(at, window_.data(),
                           static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), left)));
        if (windowFilled_ < n) {
            return false;
        }
    }
    std::memcpy(p, window_.data() + (at - windowStart_), n);
    return true;
}

bool Walker::readData(std::uint64_t at, std::uint8_t* p, std::size_t n) {
    if (n != 0 && at >= windowStart_ && at - windowStart_ <= windowFilled_ &&
        n <= windowFilled_ - (at - windowStart_)) {
        std::memcpy(p, window_.data() + (at - windowStart_), n);
        return true;
    }
    return n == 0 || source_.readExactly(at, p, n);
}

bool Walker::readHeader(std::uint64_t at, std::uint64_t limit, Box& box) {
    std::array<std::uint8_t, 32> header{};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(32, limit - at));
    if (!read(at, header.data(), n)) {
        return note(source_.budgetSpent() ? "the read budget is spent"
                                          : "a box header is cut short");
    }
    const char* why = decodeHeader(header.data(), n, at, limit, box);
    return why == nullptr || note(why);
}

template <class Visit>
bool Walker::forEachChild(std::uint64_t begin, std::uint64_t end, Visit&& visit) {
    std::uint64_t at = begin;
    for (int count = 0; at < end; ++count) {
        Box box;
        if (count == kMaxChildren) {
            return note("too many boxes in one box");
        }
        if (!readHeader(at, end, box)) {
            return false;
        }
        if (!visit(box)) {
            return true; // the visitor has what it needs
        }
        at = box.end;
    }
    return true;
}

bool Walker::load(const Box& box, Bytes& bytes) {
    if (box.payloadSize() > kMaxLoadedBox) {
        return note("a metadata box is larger than any real one");
    }
    bytes.resize(static_cast<std::size_t>(box.payloadSize()));
    if (!read(box.payload, bytes.data(), bytes.size())) {
        return note(source_.budgetSpent() ? "the read budget is spent" : "a box is cut short");
    }
    return true;
}

bool Walker::run() {
    const ContainerKind kind = out_.container;
    forEachChild(0, source_.size(), [&](const Box& box) {
        if (box.is("meta") && (kind == ContainerKind::heif || kind == ContainerKind::avif)) {
            heifMeta(box);
            return false;
        }
        if (box.is("moov") && (kind == ContainerKind::cr3 || kind == ContainerKind::quickTime)) {
            movie(box, 1);
            if (kind == ContainerKind::quickTime) {
                finishMovie();
            }
            return false;
        }
        return true; // media data and everything else: skipped unread
    });
    if (!captureFound_ && out_.message.empty()) {
        out_.message = kind == ContainerKind::heif || kind == ContainerKind::avif
                           ? "no Exif item with a DateTimeOriginal"
                       : kind == ContainerKind::cr3 ? "no CMT block with a DateTimeOriginal"
                                                    : "no creation date in the movie box";
    }
    return captureFound_;
}

// The HEIF metadata box: the item information names the Exif and XMP items, the item location
// says where their bytes lie. Item references and data references are never followed.
void Walker::heifMeta(const Box& meta) {
    Bytes iinf;
    Bytes iloc;
    std::optional<Box> idat;
    bool haveInfo = false;
    bool haveLocation = false;
    forEachChild(meta.payload + 4, meta.end, [&](const Box& box) {
        if (box.is("iinf")) {
            haveInfo = load(box, iinf);
        } else if (box.is("iloc")) {
            haveLocation = load(box, iloc);
        } else if (box.is("idat")) {
            idat = box;
        }
        return true;
    });
    if (!haveInfo || !haveLocation) {
        if (out_.message.empty()) {
            note("the metadata box has no item information or location");
        }
        return;
    }
    Cursor info{iinf};
    const std::uint64_t version = info.take(1);
    info.take(3);
    const std::uint64_t entries = info.take(version == 0 ? 2 : 4);
    std::optional<std::uint32_t> exifId;
    std::optional<std::uint32_t> xmpId;
    std::uint32_t items = 0;
    const char* why = "the item information box is cut short";
    const bool sound =
        info.ok && forEachInMemory(iinf, info.at, why, [&](const Box& box) {
            if (!box.is("infe") || ++items > std::min<std::uint64_t>(entries, kMaxItems)) {
                return;
            }
            Cursor entry{payloadOf(iinf, box)};
            const std::uint64_t entryVersion = entry.take(1);
            entry.take(3);
            const auto id = static_cast<std::uint32_t>(entry.take(entryVersion >= 3 ? 4 : 2));
            entry.take(2); // protection index
            std::string_view type = "mime";
            std::string_view contentType;
            if (entryVersion >= 2) {
                const std::uint64_t fourcc = entry.take(4);
                type = fourcc == 0x45786966 ? "Exif" : fourcc == 0x6D696D65 ? "mime" : "";
                entry.cString(); // name
            } else {
                entry.cString();
            }
            if (type == "mime") {
                contentType = entry.cString();
            }
            if (!entry.ok) {
                return;
            }
            if (type == "Exif" && !exifId) {
                exifId = id;
            } else if (contentType == "application/rdf+xml" && !xmpId) {
                xmpId = id;
            }
        });
    if (!sound) {
        note(why);
    }
    if (items > kMaxItems) {
        note("more items than any real picture has; the rest are not read");
    }
    Bytes data;
    std::uint64_t size = 0;
    const Box* inData = idat ? &*idat : nullptr;
    if (xmpId && options_.xmpPacket &&
        readItem(*xmpId, iloc, inData, kMaxXmp, kMaxXmp, data, size)) {
        out_.xmpPacket.assign(data.begin(), data.end());
    }
    if (!exifId) {
        if (out_.message.empty()) {
            note("no Exif item");
        }
        return;
    }
    if (readItem(*exifId, iloc, inData, kMaxLoadedBox, kExifItemHead, data, size) &&
        !exifItem(data, size) &&
        readItem(*exifId, iloc, inData, kMaxLoadedBox, kMaxLoadedBox, data, size)) {
        exifItem(data, size);
    }
}

// Gathers the first `want` bytes of an item's extents, as found in the item location box, into
// `data`, and its whole size into `size`. Every extent is checked, also those left unread.
bool Walker::readItem(std::uint32_t id, std::span<const std::uint8_t> iloc, const Box* idat,
                      std::size_t limit, std::size_t want, Bytes& data, std::uint64_t& size) {
    Cursor c{iloc};
    const std::uint64_t version = c.take(1);
    c.take(3);
    const std::uint64_t sizes = c.take(1);
    const std::uint64_t sizes2 = c.take(1);
    const std::size_t offsetSize = static_cast<std::size_t>(sizes >> 4);
    const std::size_t lengthSize = static_cast<std::size_t>(sizes & 15);
    const std::size_t baseSize = static_cast<std::size_t>(sizes2 >> 4);
    const std::size_t indexSize = version >= 1 ? static_cast<std::size_t>(sizes2 & 15) : 0;
    const std::uint64_t count = c.take(version < 2 ? 2 : 4);
    if (version > 2) {
        return note("an item location box of an unknown version");
    }
    for (std::uint64_t item = 0; item < count && c.ok; ++item) {
        if (item == kMaxItems) {
            return note("more item locations than any real picture has; the rest are not read");
        }
        const std::uint64_t itemId = c.take(version < 2 ? 2 : 4);
        const std::uint64_t method = version >= 1 ? (c.take(2) & 15) : 0;
        const std::uint64_t dataReference = c.take(2);
        const std::uint64_t base = c.take(baseSize);
        const std::uint64_t extents = c.take(2);
        if (itemId != id) {
            c.take(0);
            const std::uint64_t skip = extents * (indexSize + offsetSize + lengthSize);
            if (skip > c.data.size() - c.at) {
                return note("an item location entry runs past its box");
            }
            c.at += static_cast<std::size_t>(skip);
            continue;
        }
        if (!c.ok) {
            break;
        }
        if (dataReference != 0 || method == 2) {
            return note("an item kept in another file or built from other items is not read");
        }
        if (extents > kMaxExtents) {
            return note("an item has more extents than any real picture");
        }
        const std::uint64_t space = method == 1 ? (idat ? idat->payloadSize() : 0) : source_.size();
        if (method == 1 && idat == nullptr) {
            return note("an item lies in an item data box that is missing");
        }
        data.clear();
        size = 0;
        for (std::uint64_t e = 0; e < extents; ++e) {
            c.take(indexSize);
            const std::uint64_t offset = base + c.take(offsetSize);
            std::uint64_t length = c.take(lengthSize);
            if (!c.ok) {
                break;
            }
            if (offset < base || offset > space) {
                return note("an item extent lies past the end of the file");
            }
            if (length == 0) {
                length = space - offset; // to the end
            }
            if (length > space - offset) {
                return note("an item extent runs past the end of the file");
            }
            if (length > limit - size) {
                return note("an item is larger than any real metadata block");
            }
            size += length;
            const std::size_t at = data.size();
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, want - at));
            data.resize(at + n);
            const std::uint64_t from = method == 1 ? idat->payload + offset : offset;
            if (!readData(from, data.data() + at, n)) {
                return note(source_.budgetSpent() ? "the read budget is spent"
                                                  : "an item cannot be read");
            }
        }
        if (!c.ok) {
            break;
        }
        return true;
    }
    return note(c.ok ? "an item has no location" : "the item location box is cut short");
}

// An Exif item of `size` bytes, of which `data` holds the first: a 4-byte offset to the TIFF
// header, then the block. False when the bytes held are too few to tell.
bool Walker::exifItem(Bytes& data, std::uint64_t size) {
    if (size < 4) {
        note("the Exif item is cut short");
        return true;
    }
    std::uint64_t start = 4 + bigEndian(data.data(), 4);
    // Some writers give 0 and keep the "Exif\0\0" prefix of a JPEG segment.
    if (start + 6 <= size && start + 6 > data.size()) {
        return false;
    }
    if (start + 6 <= size && std::memcmp(data.data() + start, "Exif\0\0", 6) == 0) {
        start += 6;
    }
    if (start >= size) {
        note("the Exif item's TIFF header lies outside it");
        return true;
    }
    if (start >= data.size()) {
        return false;
    }
    bool missed = false;
    captureFound_ =
        captureFromTiffPart(data.data() + start, static_cast<std::uint32_t>(size - start),
                            static_cast<std::uint32_t>(data.size() - start), out_, missed);
    return !missed;
}

void Walker::movie(const Box& moov, int depth) {
    if (depth > kMaxDepth) {
        note("boxes nest deeper than any real file");
        return;
    }
    forEachChild(moov.payload, moov.end, [&](const Box& box) {
        if (box.is("mvhd")) {
            std::array<std::uint8_t, 20> head{};
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(20, box.payloadSize()));
            const bool wide = n >= 1 && read(box.payload, head.data(), n) && head[0] == 1;
            if (n < (wide ? 20U : 8U)) {
                note("the movie header is cut short");
                return true;
            }
            const std::uint64_t seconds =
                wide ? bigEndian(head.data() + 4, 8) : bigEndian(head.data() + 4, 4);
            // Up to the year 9999; 0 stands for a camera without a clock.
            if (seconds != 0 && seconds < 253402300800ULL + kQuickTimeToUnix) {
                CaptureTime t;
                setSecondsSince1970(static_cast<std::int64_t>(seconds) - kQuickTimeToUnix, t);
                t.isUtc = true;
                t.field = DateField::movieHeader;
                dates_.header = t;
            }
        } else if (box.is("uuid") && box.userType == kCanonUuid) {
            canonUuid(box);
        } else if (box.is("meta")) {
            quickTimeMeta(box);
        } else if (box.is("udta")) {
            movie(box, depth + 1);
        } else if (box.is("\xA9"
                          "day")) {
            Bytes text;
            CaptureTime t;
            if (load(box, text) && text.size() >= 4) {
                const std::size_t length =
                    std::min<std::size_t>(bigEndian(text.data(), 2), text.size() - 4);
                const std::string_view value(reinterpret_cast<const char*>(text.data() + 4),
                                             length);
                if (parseIsoDateTime(value, t)) {
                    t.field = DateField::quickTimeYear;
                    dates_.year = t;
                }
            }
        } else if (box.is("CNTH")) {
            canonThumbnail(box);
        }
        return true;
    });
}

// Canon's block inside the movie box of a CR3: CMT2 is the Exif directory, CMT1 the first.
void Walker::canonUuid(const Box& uuid) {
    std::optional<Box> first;
    std::optional<Box> exif;
    forEachChild(uuid.payload, uuid.end, [&](const Box& box) {
        if (box.is("CMT1")) {
            first = box;
        } else if (box.is("CMT2")) {
            exif = box;
        }
        return true;
    });
    for (const auto& block : {exif, first}) {
        Bytes tiff;
        if (!captureFound_ && block && load(*block, tiff) && !tiff.empty()) {
            captureFound_ =
                captureFromTiff(tiff.data(), static_cast<std::uint32_t>(tiff.size()), out_);
        }
    }
}

// A QuickTime metadata box: "keys" names the values of "ilst" by their 1-based index; an
// iTunes-style list names its date "\xA9day" directly.
void Walker::quickTimeMeta(const Box& meta) {
    Bytes bytes;
    if (!load(meta, bytes)) {
        return;
    }
    // The ISO form starts with version and flags, QuickTime's with the handler box.
    const std::size_t begin =
        bytes.size() >= 8 && std::memcmp(bytes.data() + 4, "hdlr", 4) == 0 ? 0 : 4;
    std::vector<std::string_view> keys;
    std::optional<Box> list;
    const char* why = "the metadata box is cut short";
    bool sound = begin <= bytes.size() && forEachInMemory(bytes, begin, why, [&](const Box& box) {
                     if (box.is("keys")) {
                         Cursor c{payloadOf(bytes, box)};
                         c.take(4);
                         const std::uint64_t count = std::min<std::uint64_t>(c.take(4), kMaxItems);
                         for (std::uint64_t i = 0; i < count && c.ok; ++i) {
                             const std::uint64_t size = c.take(4);
                             c.take(4); // namespace, "mdta"
                             if (size < 8 || size - 8 > c.data.size() - c.at) {
                                 break;
                             }
                             keys.emplace_back(reinterpret_cast<const char*>(c.data.data() + c.at),
                                               static_cast<std::size_t>(size - 8));
                             c.at += static_cast<std::size_t>(size - 8);
                         }
                     } else if (box.is("ilst")) {
                         list = box;
                     }
                 });
    if (list) {
        const std::span<const std::uint8_t> items = payloadOf(bytes, *list);
        sound = forEachInMemory(
                    items, 0, why,
                    [&](const Box& item) {
                        const std::uint64_t index =
                            bigEndian(reinterpret_cast<const std::uint8_t*>(item.type.data()), 4);
                        const bool creation = index >= 1 && index <= keys.size() &&
                                              keys[index - 1] == "com.apple.quicktime.creationdate";
                        const bool year = item.is("\xA9"
                                                  "day");
                        if (!creation && !year) {
                            return;
                        }
                        const std::span<const std::uint8_t> values = payloadOf(items, item);
                        const char* inner = nullptr;
                        forEachInMemory(values, 0, inner, [&](const Box& data) {
                            const std::span<const std::uint8_t> value = payloadOf(values, data);
                            CaptureTime t;
                            if (data.is("data") && value.size() > 8 &&
                                parseIsoDateTime({reinterpret_cast<const char*>(value.data() + 8),
                                                  value.size() - 8},
                                                 t)) {
                                t.field = creation ? DateField::quickTimeCreationDate
                                                   : DateField::quickTimeYear;
                                (creation ? dates_.keys : dates_.year) = t;
                            }
                        });
                    }) &&
                sound;
    }
    if (!sound) {
        note(why);
    }
}

// Canon's movie thumbnail block: CNDA is a JPEG whose Exif segment holds the capture time.
void Walker::canonThumbnail(const Box& cnth) {
    forEachChild(cnth.payload, cnth.end, [&](const Box& box) {
        Bytes jpeg;
        if (!box.is("CNDA") || !load(box, jpeg)) {
            return true;
        }
        MemoryByteSource bytes(jpeg.data(), jpeg.size());
        PictureReader reader;
        ReaderMessageCapture quiet; // a thumbnail's complaints are not the file's
        reader.readSections(bytes);
        ExtractedMetadata found;
        ExifDateTexts texts;
        const PictureRecord& r = reader.record();
        texts.original.assign(r.dateTimeOriginal,
                              std::find(r.dateTimeOriginal, std::end(r.dateTimeOriginal), '\0'));
        if (captureFromExifTexts(texts, found)) {
            dates_.embeddedExif = found.capture;
        }
        return false;
    });
}

void Walker::finishMovie() {
    for (const auto* date : {&dates_.keys, &dates_.embeddedExif, &dates_.year, &dates_.header}) {
        if (*date) {
            out_.capture = **date;
            captureFound_ = true;
            return;
        }
    }
}

} // namespace

bool extractIsoBmff(RandomAccessSource& source, ExtractedMetadata& out,
                    const ExtractOptions& options) {
    Walker walker(source, out, options);
    return walker.run();
}

} // namespace shotstamp

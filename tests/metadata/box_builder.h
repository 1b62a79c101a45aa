#pragma once

// Builds ISO-BMFF files byte by byte for the tests and the fuzzer's seeds: boxes, the HEIF item
// boxes, a movie box with its dates, and a Canon CR3's TIFF blocks.

#include "jpeg_builder.h"

#include <string>
#include <vector>

namespace shotstamp::testing {

inline Bytes be(std::uint64_t v, int n) {
    Bytes out(static_cast<std::size_t>(n));
    for (int i = n - 1; i >= 0; --i, v >>= 8) {
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v & 0xFF);
    }
    return out;
}

inline Bytes box(std::string_view type, const Bytes& payload) {
    return concat({be(payload.size() + 8, 4), bytesOf(type), payload});
}
// The same with a 64-bit size field.
inline Bytes largeBox(std::string_view type, const Bytes& payload) {
    return concat({be(1, 4), bytesOf(type), be(payload.size() + 16, 8), payload});
}
inline Bytes fullBox(std::string_view type, int version, const Bytes& payload) {
    return box(type, concat({be(static_cast<std::uint64_t>(version), 1), be(0, 3), payload}));
}
inline Bytes ftyp(std::string_view major, std::string_view compatible) {
    return box("ftyp", concat({bytesOf(major), be(0, 4), bytesOf(compatible)}));
}

// An Exif item: the offset to the TIFF header, "Exif\0\0", the block.
inline Bytes exifItem(const Bytes& tiff) {
    return concat({be(6, 4), bytesOf(std::string_view("Exif\0\0", 6)), tiff});
}

// A TIFF block whose first directory links to an Exif directory with these dates.
inline Bytes exifTiff(bool motorola, std::string_view original, std::string_view subseconds = {}) {
    const TiffBuilder t(motorola);
    std::vector<Entry> exif{t.ascii(0x9003, original)};
    if (!subseconds.empty()) {
        exif.push_back(t.ascii(0x9291, subseconds));
    }
    return t.build({{{t.ascii(0x010F, "Maker"), TiffBuilder::pointer(0x8769, 1)}}, {exif}});
}

struct HeifItem {
    std::uint32_t id = 1;
    std::string type = "Exif"; // or "mime" with contentType
    std::string contentType;
    Bytes data;
    int method = 0; // 0: in the file, 1: in the item data box
};

struct HeifOptions {
    std::string brand = "heic";
    int ilocVersion = 1;
    std::vector<HeifItem> items;
    Bytes extraMetaBoxes;          // iref, dinf, ... placed before the item boxes
    std::uint32_t fillerItems = 0; // hidden items before the others (item information only)
    std::int64_t extentShift = 0;  // added to every extent offset (past the end, say)
};

// ftyp, meta (hdlr, iinf, iloc, idat), mdat: the items' bytes in mdat or idat as asked.
inline Bytes heifFile(const HeifOptions& o) {
    auto build = [&](std::uint64_t mdatStart) {
        Bytes infos;
        for (std::uint32_t i = 0; i < o.fillerItems; ++i) {
            infos = concat(
                {infos, fullBox("infe", 2,
                                concat({be(1000 + i, 2), be(0, 2), bytesOf("hvc1"), Bytes{0}}))});
        }
        Bytes locations;
        Bytes idat;
        Bytes mdat;
        for (const HeifItem& item : o.items) {
            Bytes info = concat({be(item.id, 2), be(0, 2), bytesOf(item.type), Bytes{0}});
            if (!item.contentType.empty()) {
                info = concat({info, bytesOf(item.contentType), Bytes{0}});
            }
            infos = concat({infos, fullBox("infe", 2, info)});
            Bytes& into = item.method == 1 ? idat : mdat;
            const std::uint64_t base = item.method == 1 ? 0 : mdatStart + 8;
            const std::uint64_t offset =
                base + into.size() + static_cast<std::uint64_t>(o.extentShift);
            into = concat({into, item.data});
            const int idSize = o.ilocVersion < 2 ? 2 : 4;
            locations = concat(
                {locations, be(item.id, idSize),
                 o.ilocVersion >= 1 ? be(static_cast<std::uint64_t>(item.method), 2) : Bytes{},
                 be(0, 2), be(1, 2), be(offset, 4), be(item.data.size(), 4)});
        }
        const std::uint64_t count = o.items.size() + o.fillerItems;
        const Bytes iinf = fullBox("iinf", 0, concat({be(count, 2), infos}));
        const Bytes iloc = fullBox(
            "iloc", o.ilocVersion,
            concat({Bytes{0x44, 0x00}, be(o.items.size(), o.ilocVersion < 2 ? 2 : 4), locations}));
        const Bytes hdlr = fullBox("hdlr", 0, concat({be(0, 4), bytesOf("pict"), Bytes(13, 0)}));
        const Bytes meta = fullBox("meta", 0,
                                   concat({hdlr, o.extraMetaBoxes, iinf, iloc,
                                           idat.empty() ? Bytes{} : box("idat", idat)}));
        return concat({ftyp(o.brand, "mif1heic"), meta, box("mdat", mdat)});
    };
    // The media data box comes last: it starts at the file's size less its own, and the item
    // offsets have a fixed width, so a first build gives that size.
    const Bytes first = build(0);
    std::uint64_t mdatBytes = 8;
    for (const HeifItem& item : o.items) {
        mdatBytes += item.method == 1 ? 0 : item.data.size();
    }
    return build(first.size() - mdatBytes);
}

// A movie box with the dates asked for; empty texts leave their box out.
struct MovieDates {
    std::uint64_t headerSeconds = 0; // since 1904, UTC
    int headerVersion = 0;
    std::string keysCreationDate; // "2022-09-23T18:28:38+0900"
    std::string userDataYear;     // "\xA9day" text
};

// `userData`: more boxes for the user data box, before the year.
inline Bytes movieBox(const MovieDates& d, const Bytes& userData = {}) {
    const int width = d.headerVersion == 1 ? 8 : 4;
    Bytes mvhd = fullBox("mvhd", d.headerVersion,
                         concat({be(d.headerSeconds, width), be(d.headerSeconds, width), be(600, 4),
                                 be(6000, width), Bytes(80, 0)}));
    Bytes children = mvhd;
    if (!d.userDataYear.empty() || !userData.empty()) {
        const Bytes text =
            concat({be(d.userDataYear.size(), 2), be(0x55c4, 2), bytesOf(d.userDataYear)});
        children = concat({children, box("udta", concat({userData, box("\xA9"
                                                                       "day",
                                                                       text)}))});
    }
    if (!d.keysCreationDate.empty()) {
        const std::string key = "com.apple.quicktime.creationdate";
        const Bytes keys = fullBox("keys", 0,
                                   concat({be(2, 4), be(8 + 4, 4), bytesOf("mdtamake"),
                                           be(8 + key.size(), 4), bytesOf("mdta"), bytesOf(key)}));
        const Bytes data = box("data", concat({be(1, 4), be(0, 4), bytesOf(d.keysCreationDate)}));
        const Bytes ilst = box("ilst", box(std::string_view("\0\0\0\x02", 4), data));
        const Bytes hdlr = fullBox("hdlr", 0, concat({be(0, 4), bytesOf("mdta"), Bytes(13, 0)}));
        children = concat({children, box("meta", concat({hdlr, keys, ilst}))});
    }
    return box("moov", children);
}

// A CR3: the movie box holds Canon's uuid box with CMT1 (the first directory) and CMT2 (the
// Exif directory as a TIFF block of its own).
inline Bytes cr3File(bool motorola, std::string_view original) {
    const TiffBuilder t(motorola);
    const Bytes cmt1 = t.build({{{t.ascii(0x010F, "Canon")}}});
    const Bytes cmt2 = t.build({{{t.ascii(0x9003, original)}}});
    const Bytes uuid = concat({bytesOf("uuid"),
                               Bytes{0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0, 0x81, 0x11,
                                     0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48},
                               box("CNCV", bytesOf("CanonCR3_001/01.09.00/00.00.00")),
                               box("CMT1", cmt1), box("CMT2", cmt2)});
    const Bytes uuidBox = concat({be(uuid.size() + 4, 4), uuid});
    return concat({ftyp("crx ", "crx isom"), box("moov", uuidBox), box("mdat", Bytes(64, 0))});
}

} // namespace shotstamp::testing

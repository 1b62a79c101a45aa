#pragma once

// Builds PNG, WebP, JPEG XL, RAF and TIFF-RAW files around an EXIF block, for the walkers'
// tests and the fuzzers' seeds. Header-only, like the JPEG builder it extends.

#include "box_builder.h"

#include <string>
#include <zlib.h>

#if SHOTSTAMP_TEST_BROTLI
#include <brotli/encode.h>
#endif

namespace shotstamp::testing {

inline Bytes big32(std::uint64_t v) {
    return TiffBuilder(true).u32(static_cast<std::uint32_t>(v));
}
inline Bytes little32(std::uint64_t v) {
    return TiffBuilder(false).u32(static_cast<std::uint32_t>(v));
}

// A TIFF block with IFD0 (Make) pointing at an Exif directory holding the date texts.
inline Bytes exifBlock(bool motorola, const std::string& date, const std::string& subsec = "") {
    const TiffBuilder t(motorola);
    Directory exif{{t.ascii(0x9003, date)}};
    if (!subsec.empty()) {
        exif.entries.push_back(t.ascii(0x9291, subsec));
    }
    return t.build({{{t.ascii(0x010F, "Maker"), TiffBuilder::pointer(0x8769, 1)}}, exif});
}

inline Bytes zlibPacked(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    compress(out.data(), &size, data.data(), static_cast<uLong>(data.size()));
    out.resize(size);
    return out;
}

// Without an encoder (the Windows builds), bytes that no decoder accepts.
inline Bytes brotliPacked(const Bytes& data) {
#if !SHOTSTAMP_TEST_BROTLI
    return Bytes(data.size() / 64 + 8, 0xFF);
#else
    std::size_t size = BrotliEncoderMaxCompressedSize(data.size());
    Bytes out(size);
    BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC,
                          data.size(), data.data(), &size, out.data());
    out.resize(size);
    return out;
#endif
}

// PNG: the signature, the given chunks (CRCs left zero; nothing checks them), then IEND.
inline Bytes pngChunk(std::string_view type, const Bytes& data) {
    return concat({big32(data.size()), bytesOf(type), data, Bytes(4, 0)});
}
inline Bytes png(std::initializer_list<Bytes> chunks) {
    Bytes out =
        concat({{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, pngChunk("IHDR", Bytes(13, 1))});
    for (const Bytes& c : chunks) {
        out.insert(out.end(), c.begin(), c.end());
    }
    return concat({out, pngChunk("IEND", {})});
}
// The hexadecimal text profile that older tools write for an EXIF block.
inline Bytes rawProfile(const Bytes& exif) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "\nexif\n" + std::to_string(exif.size() + 6) + "\n457869660000";
    for (std::size_t i = 0; i < exif.size(); ++i) {
        text += std::string{kHex[exif[i] >> 4], kHex[exif[i] & 15]} + (i % 36 == 35 ? "\n" : "");
    }
    return bytesOf(text + "\n");
}
inline Bytes textKeyword(std::string_view keyword) {
    return concat({bytesOf(keyword), Bytes{0}});
}

// WebP: RIFF with its size, "WEBP", and chunks padded to even sizes.
inline Bytes riffChunk(std::string_view type, const Bytes& data) {
    return concat({bytesOf(type), little32(data.size()), data, Bytes(data.size() & 1, 0)});
}
inline Bytes webp(std::initializer_list<Bytes> chunks) {
    Bytes body = bytesOf("WEBP");
    for (const Bytes& c : chunks) {
        body.insert(body.end(), c.begin(), c.end());
    }
    return concat({bytesOf("RIFF"), little32(body.size()), body});
}

// JPEG XL container: the signature box, ftyp, the given boxes (box() is the ISO-BMFF builder's).
inline Bytes jxl(std::initializer_list<Bytes> boxes) {
    Bytes out = concat({box("JXL ", {0x0D, 0x0A, 0x87, 0x0A}),
                        box("ftyp", concat({bytesOf("jxl "), Bytes(4, 0), bytesOf("jxl ")}))});
    for (const Bytes& b : boxes) {
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// RAF: the 92-byte header pointing at an embedded JPEG with the EXIF block.
inline Bytes raf(const Bytes& exif) {
    const Bytes jpeg = JpegBuilder().soi().exif(exif).sof(0xC0, 8, 8, 3).sos().bytes();
    Bytes header = concat({bytesOf("FUJIFILMCCD-RAW 0201FF129502"), Bytes(56, 0)});
    header.resize(84);
    return concat({header, big32(100), big32(jpeg.size()), Bytes(8, 0), jpeg});
}

} // namespace shotstamp::testing

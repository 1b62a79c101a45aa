#include "jxl.h"

#include "read_window.h"
#include "tiff_raw.h"

#if SHOTSTAMP_HAVE_BROTLI
#include <brotli/decode.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace shotstamp {

namespace {

constexpr int kMaxBoxes = 4096;
// A JPEG XL file's metadata boxes come before its code stream and are a few hundred bytes each.
constexpr std::size_t kWindowSize = 512;

#if SHOTSTAMP_HAVE_BROTLI
struct DecoderDeleter {
    void operator()(BrotliDecoderState* state) const { BrotliDecoderDestroyInstance(state); }
};

// Decompresses `in` into `out`, giving up beyond kMaxMetadataBlock bytes.
bool brotliBounded(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out,
                   ExtractedMetadata& result) {
    const std::unique_ptr<BrotliDecoderState, DecoderDeleter> state(
        BrotliDecoderCreateInstance(nullptr, nullptr, nullptr));
    if (!state) {
        result.message = "no memory for the Brotli decoder";
        return false;
    }
    std::size_t availableIn = in.size();
    const std::uint8_t* nextIn = in.data();
    std::array<std::uint8_t, 16 * 1024> chunk; // written before it is read: no need to clear it
    out.clear();
    BrotliDecoderResult status = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
    while (status == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) {
        std::size_t availableOut = chunk.size();
        std::uint8_t* nextOut = chunk.data();
        status = BrotliDecoderDecompressStream(state.get(), &availableIn, &nextIn, &availableOut,
                                               &nextOut, nullptr);
        out.insert(out.end(), chunk.data(), nextOut);
        if (out.size() > kMaxMetadataBlock) {
            result.message = "a compressed box inflates beyond 1 MiB";
            return false;
        }
    }
    if (status != BROTLI_DECODER_RESULT_SUCCESS) {
        result.message = "a compressed box is not a whole Brotli stream";
        return false;
    }
    return true;
}
#endif

// The EXIF box's payload: a 4-byte offset to the TIFF header, then the bytes it skips.
void takeExifBox(std::vector<std::uint8_t>& box, ExtractedMetadata& out) {
    if (box.size() < 4 || readBig32(box.data()) > box.size() - 4) {
        out.message = "the Exif box's offset to its TIFF header is invalid";
        return;
    }
    box.erase(box.begin(), box.begin() + 4 + readBig32(box.data()));
    captureFromTiff(box.data(), static_cast<std::uint32_t>(box.size()), out);
}

} // namespace

bool jxlReadsCompressedBoxes() {
    return SHOTSTAMP_HAVE_BROTLI != 0;
}

bool extractJxl(RandomAccessSource& source, ExtractedMetadata& out) {
    out.container = ContainerKind::jxl;
    static constexpr std::array<std::uint8_t, 12> kSignature = {0,   0,   0,    12,   'J',  'X',
                                                                'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    ReadWindow<kWindowSize> window(source);
    std::array<std::uint8_t, 16> header{};
    if (window.read(0, header.data(), 2) && header[0] == 0xFF && header[1] == 0x0A) {
        out.message = "a bare JPEG XL code stream holds no metadata";
        return false;
    }
    if (!window.read(0, header.data(), kSignature.size()) ||
        !std::equal(kSignature.begin(), kSignature.end(), header.begin())) {
        out.message = "not a JPEG XL container";
        return false;
    }
    std::uint64_t at = kSignature.size();
    std::vector<std::uint8_t> box;
    for (int i = 0; i < kMaxBoxes && at + 8 <= source.size(); ++i) {
        if (!window.read(at, header.data(), 8)) {
            break;
        }
        std::uint64_t size = readBig32(header.data());
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (!window.read(at + 8, header.data() + 8, 8)) {
                break;
            }
            size = (std::uint64_t{readBig32(&header[8])} << 32) | readBig32(&header[12]);
            headerSize = 16;
        } else if (size == 0) {
            size = source.size() - at; // the last box runs to the end of the file
        }
        if (size < headerSize || size > source.size() - at) {
            out.message = "a JPEG XL box's size reaches past the end of the file";
            break;
        }
        std::string_view type(reinterpret_cast<const char*>(header.data() + 4), 4);
        const std::uint64_t payload = at + headerSize;
        const std::uint64_t payloadSize = size - headerSize;
        at += size;
        const bool compressed = type == "brob";
        std::array<char, 4> innerType{};
        if (compressed) {
            if (payloadSize < 4 ||
                !window.read(payload, reinterpret_cast<std::uint8_t*>(innerType.data()), 4)) {
                continue;
            }
            type = std::string_view(innerType.data(), 4);
        }
        const bool wanted =
            (type == "Exif" && !out.exifFound) || (type == "xml " && out.xmpPacket.empty());
        if (!wanted) {
            continue;
        }
        if (compressed) {
#if SHOTSTAMP_HAVE_BROTLI
            std::vector<std::uint8_t> packed;
            if (!window.block(payload + 4, payloadSize - 4, packed, out) ||
                !brotliBounded(packed, box, out)) {
                continue;
            }
#else
            out.message = "this build cannot read Brotli-compressed JPEG XL boxes";
            continue;
#endif
        } else if (!window.block(payload, payloadSize, box, out)) {
            continue;
        }
        if (type == "Exif") {
            takeExifBox(box, out);
        } else {
            out.xmpPacket.assign(box.begin(), box.end());
        }
        if (out.capture.found()) {
            break;
        }
    }
    if (!out.capture.found() && out.message.empty()) {
        out.message = "the JPEG XL file holds no EXIF date";
    }
    return out.exifFound || !out.xmpPacket.empty();
}

} // namespace shotstamp

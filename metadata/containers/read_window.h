#pragma once

// A window over a file for the walkers of chunked formats (PNG, WebP, JPEG XL), whose signature,
// chunk headers and metadata chunks are a few bytes to a few hundred each: read one by one, they
// cost more calls than a JPEG's whole header does.

#include "metadata/containers/container.h"
#include "metadata/containers/tiff_raw.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace shotstamp {

// Reads through a window of `Size` bytes that never reaches past the file's end, so that pieces
// lying near one another cost one call. After `kFills` fillings (a file of many chunks too large
// for it) every read costs its own bytes only, as it would without the window: a file then reads
// at most kFills * Size bytes more than that, and the read budget stays for metadata.
template <std::size_t Size> class ReadWindow {
public:
    static constexpr int kFills = 64;

    explicit ReadWindow(RandomAccessSource& source) : source_(source) {}

    // Exactly `n` bytes at `at`, or false.
    bool read(std::uint64_t at, std::uint8_t* p, std::size_t n) {
        if (n == 0) {
            return true;
        }
        if (at < start_ || at - start_ > filled_ || n > filled_ - (at - start_)) {
            if (n > buffer_.size()) {
                return source_.readExactly(at, p, n);
            }
            const std::uint64_t left = at < source_.size() ? source_.size() - at : 0;
            const std::size_t want = fills_++ < kFills ? buffer_.size() : n;
            start_ = at;
            filled_ = source_.readAt(at, buffer_.data(),
                                     static_cast<std::size_t>(std::min<std::uint64_t>(want, left)));
            if (filled_ < n) {
                return false;
            }
        }
        std::memcpy(p, buffer_.data() + (at - start_), n);
        return true;
    }

    // readMetadataBlock through the window, with its bound and its reasons.
    bool block(std::uint64_t at, std::uint64_t n, std::vector<std::uint8_t>& out,
               ExtractedMetadata& result) {
        if (n > kMaxMetadataBlock) {
            result.message = "a metadata block is larger than 1 MiB";
            return false;
        }
        out.resize(static_cast<std::size_t>(n));
        if (!read(at, out.data(), out.size())) {
            result.message = "a metadata block is cut short by the end of the file";
            return false;
        }
        return true;
    }

private:
    RandomAccessSource& source_;
    std::array<std::uint8_t, Size> buffer_; // only its first filled_ bytes are ever read
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    int fills_ = 0;
};

} // namespace shotstamp

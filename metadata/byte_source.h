#pragma once

#include "metadata/random_access_source.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace shotstamp {

// A strictly sequential source of bytes: the reader never seeks.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The next byte (0 to 255), or -1 at end of input.
    virtual int readByte() = 0;
    // Reads up to `count` bytes into `out`; returns how many arrived.
    virtual std::size_t readBlock(std::uint8_t* out, std::size_t count) = 0;
    // Passes over `count` bytes; false when the input ends first. This one reads and drops them;
    // a source that can move its position passes without reading.
    virtual bool skip(std::size_t count);
};

// Reads from a standard-library stream opened with "rb". Does not close it.
class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(std::FILE* file) : file_(file) {}
    int readByte() override;
    std::size_t readBlock(std::uint8_t* out, std::size_t count) override;

private:
    std::FILE* file_;
};

// Reads from a buffer in memory, which must outlive the source.
class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    int readByte() override;
    std::size_t readBlock(std::uint8_t* out, std::size_t count) override;
    std::size_t position() const { return position_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// Reads a random-access source front to back through a small buffer. A skip only moves the
// position, so a segment nobody looks at costs no reading; a block larger than the buffer goes
// straight into the caller's memory.
class SequentialReader final : public ByteSource {
public:
    // A later read brings a small file's segment headers, or a camera Exif segment's start.
    static constexpr std::size_t kBlock = 4096;
    static constexpr std::size_t kLargestFirstRead = 32768;

    // `firstRead` bytes (at most kLargestFirstRead) are asked for at once first. Where a read
    // waits on the disk, one that reaches past a camera's preview costs no more than a small
    // one, and spares the second wait a skip would cost; from the cache every byte is a copy.
    explicit SequentialReader(RandomAccessSource& source, std::size_t firstRead = kBlock)
        : source_(source),
          nextRead_(firstRead < kLargestFirstRead ? firstRead : kLargestFirstRead) {}
    int readByte() override {
        if (next_ == filled_ && !refill()) {
            return -1;
        }
        return buffer_[next_++];
    }
    std::size_t readBlock(std::uint8_t* out, std::size_t count) override;
    bool skip(std::size_t count) override;

private:
    bool refill();

    RandomAccessSource& source_;
    std::size_t nextRead_;
    // Not cleared: only bytes a read brought are looked at.
    std::array<std::uint8_t, kLargestFirstRead> buffer_;
    std::uint64_t position_ = 0; // where the next refill reads
    std::size_t filled_ = 0;
    std::size_t next_ = 0;
};

} // namespace shotstamp

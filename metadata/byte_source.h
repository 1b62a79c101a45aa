#pragma once

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

} // namespace shotstamp

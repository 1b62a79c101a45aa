#include "byte_source.h"

#include <algorithm>
#include <cstring>

namespace shotstamp {

int FileByteSource::readByte() {
    const int c = std::fgetc(file_);
    return c == EOF ? -1 : c;
}

std::size_t FileByteSource::readBlock(std::uint8_t* out, std::size_t count) {
    return std::fread(out, 1, count, file_);
}

int MemoryByteSource::readByte() {
    if (position_ >= size_) {
        return -1;
    }
    return data_[position_++];
}

std::size_t MemoryByteSource::readBlock(std::uint8_t* out, std::size_t count) {
    const std::size_t n = std::min(count, size_ - position_);
    if (n > 0) {
        std::memcpy(out, data_ + position_, n);
    }
    position_ += n;
    return n;
}

} // namespace shotstamp

#include "byte_source.h"

#include <algorithm>
#include <cstring>

namespace shotstamp {

bool ByteSource::skip(std::size_t count) {
    std::uint8_t dropped[512];
    while (count > 0) {
        const std::size_t step = std::min(count, sizeof dropped);
        if (readBlock(dropped, step) != step) {
            return false;
        }
        count -= step;
    }
    return true;
}

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

std::size_t SequentialReader::readBlock(std::uint8_t* out, std::size_t count) {
    std::size_t done = std::min(count, filled_ - next_);
    if (done > 0) {
        std::memcpy(out, buffer_.data() + next_, done);
        next_ += done;
    }
    if (count - done >= kBlock) {
        const std::size_t got = source_.readAt(position_, out + done, count - done);
        position_ += got;
        return done + got;
    }
    while (done < count && refill()) {
        const std::size_t n = std::min(count - done, filled_);
        std::memcpy(out + done, buffer_.data(), n);
        next_ = n;
        done += n;
    }
    return done;
}

bool SequentialReader::skip(std::size_t count) {
    const std::size_t buffered = filled_ - next_;
    if (count <= buffered) {
        next_ += count;
        return true;
    }
    position_ += count - buffered;
    next_ = filled_ = 0;
    return position_ <= source_.size();
}

bool SequentialReader::refill() {
    filled_ = source_.readAt(position_, buffer_.data(), nextRead_);
    nextRead_ = kBlock;
    position_ += filled_;
    next_ = 0;
    return filled_ > 0;
}

} // namespace shotstamp

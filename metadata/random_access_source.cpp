#include "random_access_source.h"

#include <algorithm>
#include <cstring>

namespace shotstamp {

std::size_t MemoryRandomSource::readAtOffset(std::uint64_t offset, std::uint8_t* out,
                                             std::size_t n) {
    if (offset >= size_) {
        return 0;
    }
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    std::memcpy(out, data_ + offset, got);
    return got;
}

} // namespace shotstamp

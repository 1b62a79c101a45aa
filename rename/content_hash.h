#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace shotstamp {

// The content hash the journal keeps for a copy, taken over bytes given in pieces of any size:
// four lanes of 64-bit multiply-and-rotate over 32-byte blocks, the last bytes one by one. Fast,
// and for telling a changed copy from the one made, not for withstanding an attacker.
class ContentHash {
public:
    void add(const char* bytes, std::size_t count) {
        size_ += count;
        while (count > 0) {
            if (carried_ == 0 && count >= kBlock) {
                block(bytes);
                bytes += kBlock;
                count -= kBlock;
                continue;
            }
            const std::size_t take = count < kBlock - carried_ ? count : kBlock - carried_;
            std::memcpy(carry_ + carried_, bytes, take);
            carried_ += take;
            bytes += take;
            count -= take;
            if (carried_ == kBlock) {
                block(carry_);
                carried_ = 0;
            }
        }
    }

    std::uint64_t size() const { return size_; }

    std::uint64_t value() const {
        std::uint64_t lanes[4] = {lanes_[0], lanes_[1], lanes_[2], lanes_[3]};
        for (std::size_t at = 0; at < carried_; ++at) {
            lanes[at % 4] =
                rotl(lanes[at % 4] ^ (static_cast<unsigned char>(carry_[at]) * kPrime1), 11) *
                kPrime2;
        }
        std::uint64_t hash = size_ * kPrime1;
        for (const std::uint64_t lane : lanes) {
            hash = rotl(hash ^ lane, 27) * kPrime1 + kPrime2;
        }
        return hash ^ (hash >> 33);
    }

private:
    static constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
    static constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
    static constexpr std::size_t kBlock = 32;

    static std::uint64_t rotl(std::uint64_t v, int r) { return (v << r) | (v >> (64 - r)); }

    void block(const char* at) {
        for (int lane = 0; lane < 4; ++lane) {
            std::uint64_t word = 0;
            std::memcpy(&word, at + lane * 8, 8);
            lanes_[lane] = rotl(lanes_[lane] + word * kPrime2, 31) * kPrime1;
        }
    }

    std::uint64_t lanes_[4] = {kPrime1, kPrime2, ~kPrime1, ~kPrime2};
    char carry_[kBlock] = {};
    std::size_t carried_ = 0;
    std::uint64_t size_ = 0;
};

} // namespace shotstamp

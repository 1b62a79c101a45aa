#pragma once

// Reads at offsets, for containers whose metadata may lie anywhere in a file (a HEIF item, a
// video's movie box after gigabytes of media data). Every read is counted against a budget, so
// no file, however its boxes point, costs more than a few megabytes of reading.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace shotstamp {

class RandomAccessSource {
public:
    // The most any one file may cost.
    static constexpr std::uint64_t kReadBudget = 4ULL << 20;

    virtual ~RandomAccessSource() = default;

    // The file's size in bytes, as it was when it was opened.
    virtual std::uint64_t size() const = 0;

    // Reads up to `n` bytes at `offset` into `out` and returns how many arrived: fewer at the end
    // of the file, on a read error, or once the budget is spent (then budgetSpent() is true).
    std::size_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
        if (n > kReadBudget - bytesRead_) {
            budgetSpent_ = true;
            n = static_cast<std::size_t>(kReadBudget - bytesRead_);
        }
        const std::size_t got = offset < size() ? readAtOffset(offset, out, n) : 0;
        bytesRead_ += got;
        return got;
    }
    // Exactly `n` bytes at `offset`, or false.
    bool readExactly(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
        return readAt(offset, out, n) == n;
    }

    std::uint64_t bytesRead() const { return bytesRead_; }
    bool budgetSpent() const { return budgetSpent_; }

protected:
    virtual std::size_t readAtOffset(std::uint64_t offset, std::uint8_t* out, std::size_t n) = 0;

private:
    std::uint64_t bytesRead_ = 0;
    bool budgetSpent_ = false;
};

// A buffer in memory, which must outlive the source (tests, fuzzers).
class MemoryRandomSource final : public RandomAccessSource {
public:
    MemoryRandomSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit MemoryRandomSource(const std::vector<std::uint8_t>& bytes)
        : MemoryRandomSource(bytes.data(), bytes.size()) {}
    std::uint64_t size() const override { return size_; }

protected:
    std::size_t readAtOffset(std::uint64_t offset, std::uint8_t* out, std::size_t n) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

} // namespace shotstamp

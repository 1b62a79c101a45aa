#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shotstamp::files {

// What a folder entry is, without following a symbolic link (a Windows reparse point counts as
// a link).
enum class EntryKind : std::uint8_t { file, folder, link, other, missing };

// The entries of one folder, packed: all names in one buffer and a few bytes beside each, so
// that a folder of a million pictures costs tens of megabytes where a string per name would
// cost hundreds. Entries keep the order they were added in until sortByName.
class FolderListing {
public:
    struct Entry {
        std::string_view name;
        EntryKind kind = EntryKind::other;
        // The file's index within its volume as the listing saw it (an inode number); 0 when the
        // listing was not asked to keep indexes or the system does not tell them.
        std::uint64_t index = 0;
    };

    explicit FolderListing(bool keepIndexes = false) : keepIndexes_(keepIndexes) {}

    // False, adding nothing, when the names would pass the four gigabytes the packing can
    // address.
    bool add(std::string_view name, EntryKind kind, std::uint64_t index = 0) {
        if (name.size() > kMaxNameBytes - names_.size()) {
            return false;
        }
        names_.append(name);
        ends_.push_back(static_cast<std::uint32_t>(names_.size()));
        kinds_.push_back(kind);
        if (keepIndexes_) {
            indexes_.push_back(index);
        }
        order_.clear();
        filtered_ = std::size_t(-1);
        return true;
    }

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    bool keepsIndexes() const { return keepIndexes_; }

    Entry operator[](std::size_t position) const {
        const std::size_t i = order_.empty() ? position : order_[position];
        return {rawName(i), kinds_[i], keepIndexes_ ? indexes_[i] : 0};
    }

    // Byte order of the names, as the walk hands files out.
    void sortByName() {
        order_.resize(ends_.size());
        for (std::size_t i = 0; i < order_.size(); ++i) {
            order_[i] = static_cast<std::uint32_t>(i);
        }
        std::vector<std::uint32_t> order = std::move(order_);
        order_.clear(); // entries read in the order added while sorting
        std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
            return (*this)[a].name < (*this)[b].name;
        });
        order_ = std::move(order);
    }

    // Whether a name equal to `name` but for ASCII letter case may be listed. False is sure; true
    // is wrong for a few names in a hundred, which costs the caller one query of the file
    // system. The filter behind it, twelve bits a name, is made on the first call after the
    // listing changed: a sorted copy of the positions would cost four bytes a name and a sort.
    bool mayContainIgnoringCase(std::string_view name) const {
        if (filtered_ != size()) {
            foldedFilter_.assign(size() * 12 / 64 + 1, 0);
            for (std::size_t i = 0; i < size(); ++i) {
                const auto [word, mask] = foldedBits(rawName(i));
                foldedFilter_[word] |= mask;
            }
            filtered_ = size();
        }
        const auto [word, mask] = foldedBits(name);
        return (foldedFilter_[word] & mask) == mask;
    }

    // Keeps the entries for which `keep(entry)` is true, in their order.
    template <class Keep> void keepIf(Keep keep) {
        FolderListing kept(keepIndexes_);
        for (std::size_t i = 0; i < size(); ++i) {
            if (const Entry entry = (*this)[i]; keep(entry)) {
                kept.add(entry.name, entry.kind, entry.index);
            }
        }
        *this = std::move(kept);
    }

    void clear() { *this = FolderListing(keepIndexes_); }

    class Iterator {
    public:
        Iterator(const FolderListing& listing, std::size_t position)
            : listing_(&listing), position_(position) {}
        Entry operator*() const { return (*listing_)[position_]; }
        Iterator& operator++() {
            ++position_;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return position_ != other.position_; }

    private:
        const FolderListing* listing_;
        std::size_t position_;
    };
    Iterator begin() const { return {*this, 0}; }
    Iterator end() const { return {*this, size()}; }

private:
    static constexpr std::size_t kMaxNameBytes = 0xFFFFFFFFu;

    std::string_view rawName(std::size_t i) const {
        const std::size_t start = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(names_).substr(start, ends_[i] - start);
    }
    static char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
    // Two bits of the folded name, in one word of the filter.
    std::pair<std::size_t, std::uint64_t> foldedBits(std::string_view name) const {
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (const char c : name) {
            hash = (hash ^ static_cast<unsigned char>(folded(c))) * 1099511628211ull;
        }
        const std::uint64_t mixed = hash * 0x9E3779B97F4A7C15ull;
        return {static_cast<std::size_t>(hash % foldedFilter_.size()),
                std::uint64_t{1} << (mixed >> 58) | std::uint64_t{1} << (mixed >> 52 & 63)};
    }

    bool keepIndexes_;
    std::string names_;
    std::vector<std::uint32_t> ends_;
    std::vector<EntryKind> kinds_;
    std::vector<std::uint64_t> indexes_;
    std::vector<std::uint32_t> order_;                // positions in name order once sorted
    mutable std::vector<std::uint64_t> foldedFilter_; // of the names folded to lower case
    mutable std::size_t filtered_ = std::size_t(-1);  // how many names the filter holds
};

} // namespace shotstamp::files

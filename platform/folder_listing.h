#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
        folded_.clear();
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

    // Whether a name equal to `name` but for ASCII letter case is listed: a binary search over
    // the names folded to lower case, made on the first call after the listing changed.
    bool containsIgnoringCase(std::string_view name) const {
        if (folded_.size() != size()) {
            folded_.resize(size());
            for (std::size_t i = 0; i < folded_.size(); ++i) {
                folded_[i] = static_cast<std::uint32_t>(i);
            }
            std::sort(folded_.begin(), folded_.end(), [this](std::uint32_t a, std::uint32_t b) {
                return lessIgnoringCase(rawName(a), rawName(b));
            });
        }
        const auto at = std::lower_bound(folded_.begin(), folded_.end(), name,
                                         [this](std::uint32_t i, std::string_view key) {
                                             return lessIgnoringCase(rawName(i), key);
                                         });
        return at != folded_.end() && !lessIgnoringCase(name, rawName(*at));
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
    static bool lessIgnoringCase(std::string_view a, std::string_view b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return static_cast<unsigned char>(folded(x)) <
                                                       static_cast<unsigned char>(folded(y));
                                            });
    }

    bool keepIndexes_;
    std::string names_;
    std::vector<std::uint32_t> ends_;
    std::vector<EntryKind> kinds_;
    std::vector<std::uint64_t> indexes_;
    std::vector<std::uint32_t> order_;          // positions in name order once sorted
    mutable std::vector<std::uint32_t> folded_; // positions in case-blind order, made on demand
};

} // namespace shotstamp::files

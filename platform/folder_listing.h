#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shotstamp::files {

// What a folder entry is, without following a symbolic link (a Windows reparse point counts as
// a link).
enum class EntryKind : std::uint8_t { file, folder, link, other, missing };

// The entries of one folder, packed so that a folder of a million pictures costs tens of
// megabytes where a string per name would cost hundreds. While entries are added they sit in
// one buffer, each after its kind (and index), in the order added. Sorted by name, each name
// keeps only what differs from the name before it, since a camera's names share most of their
// bytes: IMG_10234.JPG after IMG_10233.JPG costs one byte of text, not thirteen.
//
// An entry's name stays valid until the next entry is read or the listing changes. Once sorted,
// reading the next entry is the fast way (every sixteenth name is kept whole, so reading from
// anywhere decodes up to fifteen names first), and one thread at a time may read entries, while
// one other may ask mayContainIgnoringCase.
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

    // False, adding nothing, when the name holds a NUL (no system allows one) or the names
    // would pass the four gigabytes the packing can address.
    bool add(std::string_view name, EntryKind kind, std::uint64_t index = 0) {
        if (sorted_) {
            unpack();
        }
        if (name.find('\0') != std::string_view::npos ||
            name.size() + header() + 1 > kMaxNameBytes - raw_.size() ||
            !raw_.makeRoom(name.size() + header() + 1)) {
            return false;
        }
        starts_.push_back(static_cast<std::uint32_t>(raw_.size()));
        char head[kLargestHeader];
        raw_.put(head, putHeader(head, kind, index));
        raw_.put(name.data(), name.size());
        raw_.put("", 1);
        filtered_ = std::size_t(-1);
        return true;
    }

    std::size_t size() const { return sorted_ ? count_ : starts_.size(); }
    bool empty() const { return size() == 0; }
    bool keepsIndexes() const { return keepIndexes_; }

    Entry operator[](std::size_t position) const { return entryAt(cursor_, position); }

    // Byte order of the names, as the walk hands files out.
    void sortByName() {
        if (sorted_) {
            return;
        }
        const char* names = raw_.data() + header();
        std::sort(starts_.begin(), starts_.end(), [names](std::uint32_t a, std::uint32_t b) {
            return std::strcmp(names + a, names + b) < 0; // unsigned bytes, as string_view
        });
        // Measured first, so that the coded names never sit beside a grown buffer's copy.
        std::size_t codedSize = 0;
        codeSorted([&](std::size_t, const Entry&, std::size_t shared, std::string_view rest) {
            codedSize += header() + varintSize(shared) + varintSize(rest.size()) + rest.size();
        });
        coded_.reserve(codedSize);
        restarts_.reserve(starts_.size() / kWholeEvery + 1);
        codeSorted(
            [&](std::size_t i, const Entry& entry, std::size_t shared, std::string_view rest) {
                if (i % kWholeEvery == 0) {
                    restarts_.push_back(coded_.size());
                }
                char head[kLargestHeader];
                coded_.append(head, putHeader(head, entry.kind, entry.index));
                putVarint(coded_, shared);
                putVarint(coded_, rest.size());
                coded_.append(rest);
            });
        count_ = starts_.size();
        raw_ = {};
        std::vector<std::uint32_t>().swap(starts_);
        sorted_ = true;
        cursor_ = {};
    }

    // Whether a name equal to `name` but for ASCII letter case may be listed. False is sure; true
    // is wrong for a few names in a hundred, which costs the caller one query of the file
    // system. The filter behind it, twelve bits a name, is made on the first call after the
    // listing changed: a sorted copy of the positions would cost four bytes a name and a sort.
    bool mayContainIgnoringCase(std::string_view name) const {
        if (filtered_ != size()) {
            foldedFilter_.assign(size() * 12 / 64 + 1, 0);
            // With a cursor of its own: the walk may be reading entries meanwhile.
            Cursor cursor;
            for (std::size_t i = 0; i < size(); ++i) {
                const auto [word, mask] = foldedBits(entryAt(cursor, i).name);
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
    static constexpr std::size_t kWholeEvery = 16;

    // Where reading the coded names stands: the name last decoded and the offset after it.
    struct Cursor {
        std::size_t position = std::size_t(-1);
        std::size_t next = 0;
        Entry entry;
        std::string name;
    };

    // The names while they are added. Grown by realloc, which moves a large buffer's pages
    // instead of copying them: a listing of a million names never holds two copies at once.
    class GrowingBuffer {
    public:
        const char* data() const { return bytes_.get(); }
        std::size_t size() const { return size_; }
        bool makeRoom(std::size_t count) {
            if (count <= capacity_ - size_) {
                return true;
            }
            const std::size_t capacity =
                std::max({capacity_ + capacity_ / 2, size_ + count, std::size_t{4096}});
            char* grown = static_cast<char*>(std::realloc(bytes_.get(), capacity));
            if (grown == nullptr) {
                return false;
            }
            (void)bytes_.release(); // realloc took it
            bytes_.reset(grown);
            capacity_ = capacity;
            return true;
        }
        // After makeRoom for at least `count` bytes.
        void put(const char* bytes, std::size_t count) {
            std::memcpy(bytes_.get() + size_, bytes, count);
            size_ += count;
        }

    private:
        struct Free {
            void operator()(char* bytes) const { std::free(bytes); }
        };
        std::unique_ptr<char, Free> bytes_;
        std::size_t size_ = 0;
        std::size_t capacity_ = 0;
    };

    static constexpr std::size_t kLargestHeader = 1 + sizeof(std::uint64_t);
    std::size_t header() const { return keepIndexes_ ? kLargestHeader : 1; }
    // Writes an entry's kind (and index) to `out`; returns the bytes written.
    std::size_t putHeader(char* out, EntryKind kind, std::uint64_t index) const {
        out[0] = static_cast<char>(kind);
        if (keepIndexes_) {
            std::memcpy(out + 1, &index, sizeof index);
        }
        return header();
    }
    // Reads a header at `offset` and moves past it.
    template <class Bytes> Entry readHeader(const Bytes& in, std::size_t& offset) const {
        Entry entry;
        entry.kind = static_cast<EntryKind>(in.data()[offset++]);
        if (keepIndexes_) {
            std::memcpy(&entry.index, in.data() + offset, sizeof entry.index);
            offset += sizeof entry.index;
        }
        return entry;
    }

    static std::size_t varintSize(std::size_t value) {
        std::size_t size = 1;
        for (; value >= 0x80; value >>= 7) {
            ++size;
        }
        return size;
    }
    static void putVarint(std::string& out, std::size_t value) {
        for (; value >= 0x80; value >>= 7) {
            out.push_back(static_cast<char>((value & 0x7F) | 0x80));
        }
        out.push_back(static_cast<char>(value));
    }
    static std::size_t readVarint(const std::string& in, std::size_t& offset) {
        std::size_t value = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(in[offset++]);
            value |= std::size_t{byte & 0x7Fu} << shift;
            if (byte < 0x80) {
                return value;
            }
        }
    }

    Entry rawEntry(std::uint32_t start) const {
        std::size_t offset = start;
        Entry entry = readHeader(raw_, offset);
        entry.name = std::string_view(raw_.data() + offset);
        return entry;
    }

    // Hands each entry in sorted order to `take` with its position, how many leading bytes it
    // shares with the name before it (none for every sixteenth) and the rest of it.
    template <class Take> void codeSorted(Take take) const {
        std::string_view previous;
        for (std::size_t i = 0; i < starts_.size(); ++i) {
            const Entry entry = rawEntry(starts_[i]);
            std::size_t shared = 0;
            if (i % kWholeEvery != 0) {
                const std::size_t most = std::min(previous.size(), entry.name.size());
                while (shared < most && previous[shared] == entry.name[shared]) {
                    ++shared;
                }
            }
            take(i, entry, shared, entry.name.substr(shared));
            previous = entry.name;
        }
    }

    const Entry& readCoded(Cursor& cursor, std::size_t position) const {
        if (cursor.position != position &&
            (cursor.position + 1 != position || position % kWholeEvery == 0)) {
            cursor.position = position - position % kWholeEvery - 1;
            cursor.next = restarts_[position / kWholeEvery];
        }
        for (; cursor.position != position; ++cursor.position) {
            cursor.entry = readHeader(coded_, cursor.next);
            const std::size_t shared = readVarint(coded_, cursor.next);
            const std::size_t rest = readVarint(coded_, cursor.next);
            cursor.name.resize(shared);
            cursor.name.append(coded_, cursor.next, rest);
            cursor.next += rest;
        }
        cursor.entry.name = cursor.name;
        return cursor.entry;
    }
    Entry entryAt(Cursor& cursor, std::size_t position) const {
        return sorted_ ? readCoded(cursor, position) : rawEntry(starts_[position]);
    }

    // Back to the form entries are added in, keeping the sorted order.
    void unpack() {
        FolderListing raw(keepIndexes_);
        for (const Entry entry : *this) {
            raw.add(entry.name, entry.kind, entry.index);
        }
        *this = std::move(raw);
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
    bool sorted_ = false;
    // Before sorting: [kind][index, if kept][name][NUL] for each entry, and where each starts.
    GrowingBuffer raw_;
    std::vector<std::uint32_t> starts_;
    // Sorted: [kind][index, if kept][shared length][rest length][rest], and where each
    // sixteenth entry starts.
    std::string coded_;
    std::vector<std::size_t> restarts_;
    std::size_t count_ = 0;
    mutable Cursor cursor_;
    mutable std::vector<std::uint64_t> foldedFilter_; // of the names folded to lower case
    mutable std::size_t filtered_ = std::size_t(-1);  // how many names the filter holds
};

} // namespace shotstamp::files

#pragma once

#include "entry_list.h"

#include <string>
#include <string_view>
#include <vector>

namespace shotstamp {

// The Windows command line as one text, searched for the ends of JPEG paths (".jpg") rather than
// split at blanks, so that a path with spaces is found whole, quoted or not. The text is
// lower-cased once; entries are then taken from its front.
class MarkedFileList final : public EntryList {
public:
    explicit MarkedFileList(std::string_view commandLineText);

    // Needs at least five bytes left (a one-character name plus ".jpg").
    bool takeNext(std::string& folder, std::string& fileName) override;
    // No minimum length; removes nothing.
    bool firstEntry(std::string& folder, std::string& fileName) override;

    const std::string& remainingText() const { return remainingText_; }

private:
    // Length of the entry at the front (up to and including its ".jpg"), or 0 for none.
    std::size_t findEntry() const;
    void split(std::size_t length, std::string& folder, std::string& fileName) const;
    void removeLeadingSeparators();

    std::string remainingText_;
};

// A command line already split into arguments (POSIX): every argument that ends in ".jpg" in any
// letter case is one path, kept as typed and split at its last path separator.
class ArgumentEntryList final : public EntryList {
public:
    explicit ArgumentEntryList(std::vector<std::string> arguments);

    bool takeNext(std::string& folder, std::string& fileName) override;
    bool firstEntry(std::string& folder, std::string& fileName) override;

private:
    bool find(std::size_t from, std::size_t& found) const;

    std::vector<std::string> arguments_;
    std::size_t next_ = 0;
};

} // namespace shotstamp

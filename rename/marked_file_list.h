#pragma once

#include "entry_list.h"

#include <string>
#include <string_view>
#include <vector>

namespace shotstamp {

// The Windows command line as one text. A quoted path runs to its closing quote; an unquoted one
// ends at the first ".jpg" that a blank, a tab, a quote or the end of the text follows, so that
// blanks inside a path do not split it. Paths not ending in ".jpg" are passed over. The text is
// lower-cased once; entries are then taken from its front.
class MarkedFileList final : public EntryList {
public:
    explicit MarkedFileList(std::string_view commandLineText);

    // Needs at least five bytes left (a one-character name plus ".jpg").
    bool takeNext(std::string& folder, std::string& fileName) override;
    // No minimum length; removes nothing.
    bool firstEntry(std::string& folder, std::string& fileName) override;

private:
    // Where the next entry lies in the remaining text, and whether a quote is open there.
    struct Found {
        std::size_t begin = 0;
        std::size_t end = 0; // just after its ".jpg"
        bool quoted = false;
    };
    bool findEntry(Found& found) const;
    // Skips blanks, tabs and quotes from `at` on; each quote opens or closes a quoted path.
    std::size_t skipSeparators(std::size_t at, bool& quoted) const;
    void split(const Found& found, std::string& folder, std::string& fileName) const;

    std::string remainingText_;
    bool quoted_ = false; // the remaining text starts inside a quoted path
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

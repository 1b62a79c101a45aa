#pragma once

#include "entry_list.h"
#include "file_system.h"
#include "rename_options.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace shotstamp {

// Entries from operands that may name folders: a file operand ending in ".jpg" is one entry; a
// folder operand stands for its "*.jpg" files in name order and, when recursive, for those of its
// sub-folders after them. Symbolic links to folders are never followed inside a walk, and no
// folder is walked twice, whatever names lead to it. Folders are listed as the walk reaches them.
// No file is given twice either: one already given (under any name, also the new name a rename
// gave it since) is passed over. What the walk cannot take (a folder it cannot read, a symbolic
// link inside a walk) is told to the skip handler with the reason.
class FolderWalkList final : public EntryList, public FolderRoots {
public:
    FolderWalkList(std::vector<std::string> operands, bool recursive, FileSystem& fileSystem);

    bool takeNext(std::string& folder, std::string& fileName) override;
    bool firstEntry(std::string& folder, std::string& fileName) override;

    using SkipHandler = std::function<void(const std::string& path, const std::string& reason)>;
    void onSkipped(SkipHandler handler) { onSkipped_ = std::move(handler); }

    // Which names are entries: `inWalk` is true for a name found in a folder, false for a file
    // operand. Without a filter, names ending in ".jpg" are.
    using NameFilter =
        std::function<bool(const std::string& folder, const std::string& name, bool inWalk)>;
    void setFilter(NameFilter filter) { filter_ = std::move(filter); }

    // The folder operand a walked folder was reached from (itself for an operand); any other
    // folder (that of a file operand) is its own.
    std::string rootOf(const std::string& folder) const override;

private:
    bool fill();
    void walkFolder(const std::string& folder);
    // `identity` is the file's when it was told before the run (a file operand), else null.
    void add(const std::string& folder, const std::string& fileName,
             const std::optional<FileIdentity>* identity = nullptr);
    void skip(const std::string& path, const std::string& reason);
    bool takes(const std::string& folder, const std::string& name, bool inWalk) const;

    // Each operand with the file it named when the list was made: a file renamed since is
    // still known by its first name.
    std::deque<std::pair<std::string, std::optional<FileIdentity>>> operands_;
    bool recursive_;
    FileSystem& fileSystem_;
    std::deque<std::pair<std::string, std::string>> pending_; // folder, file name
    std::vector<std::string> folders_;                        // still to walk, last first
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;  // folders walked
    std::set<std::pair<std::uint64_t, std::uint64_t>> given_; // files given
    SkipHandler onSkipped_;
    NameFilter filter_;
    std::map<std::string, std::string> roots_; // walked folder -> the operand it came from
};

} // namespace shotstamp

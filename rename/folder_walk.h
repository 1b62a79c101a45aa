#pragma once

#include "entry_list.h"
#include "file_system.h"
#include "rename_options.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace shotstamp {

// Entries from operands that may name folders: a file operand ending in ".jpg" is one entry; a
// folder operand stands for its "*.jpg" files in name order and, when recursive, for those of its
// sub-folders after them. Symbolic links to folders are never followed inside a walk, and no
// folder is walked twice, whatever names lead to it. Folders are listed as the walk reaches them.
// No file is given twice either: one already given (under any name, also the new name a rename
// gave it since) is passed over. A folder's names are held packed while its files are handed
// out, so that a million of them fit in a few tens of megabytes. What the walk cannot take (a
// folder it cannot read, a symbolic link inside a walk) is told to the skip handler with the
// reason.
class FolderWalkList final : public EntryList, public FolderRoots {
public:
    FolderWalkList(std::vector<std::string> operands, bool recursive, FileSystem& fileSystem);

    bool takeNext(std::string& folder, std::string& fileName) override;
    bool firstEntry(std::string& folder, std::string& fileName) override;
    // Answers for the folder whose files are being handed out; a name that differs from a listed
    // one only in letter case counts as listed (it may be that file where case is ignored).
    bool listedWithout(const std::string& path) const override;

    using SkipHandler = std::function<void(const std::string& path, const std::string& reason)>;
    void onSkipped(SkipHandler handler) { onSkipped_ = std::move(handler); }

    // Which names are entries: `inWalk` is true for a name found in a folder, false for a file
    // operand. Without a filter, names ending in ".jpg" are.
    using NameFilter =
        std::function<bool(const std::string& folder, std::string_view name, bool inWalk)>;
    void setFilter(NameFilter filter) { filter_ = std::move(filter); }

    // The folder operand a walked folder was reached from (itself for an operand); any other
    // folder (that of a file operand) is its own.
    std::string rootOf(const std::string& folder) const override;

private:
    // Files already given, by volume and index: a flat table, a few bytes a file.
    class IdentitySet {
    public:
        bool insert(std::uint64_t volume, std::uint64_t index); // false when it was there
    private:
        struct Slot {
            std::uint64_t volume = 0;
            std::uint64_t index = 0;
            bool used = false;
        };
        std::vector<Slot> slots_;
        std::size_t count_ = 0;
    };

    bool fill();
    void walkFolder(const std::string& folder);
    // The next entry of the folder being handed out that the walk takes; false at its end.
    bool nextListed();
    // False for a file given before (under any name); `known` is its identity when that was
    // had before the run (a file operand) or from the listing.
    bool firstTime(const std::string& path, const std::optional<FileIdentity>& known);
    void skip(const std::string& path, const std::string& reason);
    bool takes(const std::string& folder, std::string_view name, bool inWalk) const;

    // Each operand with the file it named when the list was made: a file renamed since is
    // still known by its first name.
    std::deque<std::pair<std::string, std::optional<FileIdentity>>> operands_;
    bool recursive_;
    // A file can only come twice through more than one operand or a walk of sub-folders (a
    // file may move into one that is walked later); a single folder is listed once, before
    // any of its files moves, so no file of it needs remembering.
    bool remembers_;
    FileSystem& fileSystem_;
    std::optional<std::pair<std::string, std::string>> pendingFile_; // folder, name
    // The planning thread asks listedWithout while a read-ahead worker may be taking entries
    // and listing the next folder: replacing the listing and asking it hold this lock.
    mutable std::mutex listingMutex_;
    std::string listedFolder_;
    std::uint64_t listedVolume_ = 0;
    files::FolderListing listed_;
    std::size_t nextListed_ = 0;
    bool listedReady_ = false;         // nextListed_ is an entry that nextListed() took
    std::vector<std::string> folders_; // still to walk, last first
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_; // folders walked
    IdentitySet given_;
    SkipHandler onSkipped_;
    NameFilter filter_;
    std::map<std::string, std::string> roots_; // walked folder -> the operand it came from
};

} // namespace shotstamp

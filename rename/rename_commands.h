#pragma once

#include "entry_list.h"
#include "file_system.h"
#include "move_journal.h"
#include "prefix_source.h"
#include "rename_options.h"
#include "rename_outcome.h"
#include "rename_picture.h"
#include "scan.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace shotstamp {

// The two rename commands of the main window. Each command makes its own entry list the first
// time it runs and keeps it; both end by calling closeWindow (the dialog's OK handling), also
// when nothing was renamed.
class RenameCommands {
public:
    using ReadAheadSource = std::function<bool(std::string& folder, std::string& fileName)>;
    using EntryListFactory = std::function<std::unique_ptr<EntryList>()>;

    // fileSystem null means the real one; observer may be null.
    RenameCommands(EntryListFactory makeEntryList, PrefixSource& prefix,
                   std::function<void()> closeWindow, RenameObserver* observer = nullptr,
                   FileSystem* fileSystem = nullptr);

    // How many threads read the next pictures' headers while one is renamed: 1 reads each picture
    // at its turn; 0 (the default) leaves the choice to the program. Renames stay in order on the
    // calling thread either way, with the same outcomes.
    void setJobs(int jobs) { jobs_ = jobs; }

    // "Just marked": every entry, in order.
    void renameMarked();
    // "All in Path": every "*.jpg" of the first entry's folder.
    void renameAllInPath();

    // How each picture is renamed from now on; the defaults are the window's.
    void setOptions(const RenameOptions& options) { options_ = options; }

private:
    void renameAll(ReadAheadSource source);
    RenameOutcome handle(const PictureScan& scan);
    // Plans the moves of a batch, journals them in one piece, then makes them; returns how many
    // pictures it handled (fewer when one went otherwise than planned and the rest need a plan
    // of their own).
    std::size_t handleBatch(std::span<const PictureScan> batch);
    void handleBatches(std::span<const PictureScan> batch);

    EntryListFactory makeEntryList_;
    PrefixSource& prefix_;
    std::function<void()> closeWindow_;
    RenameObserver* observer_;
    FileSystem* fileSystem_;
    int jobs_ = 0;
    std::unique_ptr<EntryList> markedList_;
    std::unique_ptr<EntryList> allInPathList_;
    const EntryList* listed_ = nullptr; // the list being renamed, for what its listing knows
    // The paths this run has moved files onto or away from, in a fixed-size filter: a new name
    // that may be among them is asked of the file system even when the listing did not have it,
    // and a picture read ahead under such a path is asked after again. A false "may" costs only
    // that query, and the filter stays a quarter megabyte however many files the run names.
    class GivenNames {
    public:
        void add(const std::string& path);
        bool mayHave(const std::string& path) const;

    private:
        static constexpr std::size_t kBits = std::size_t{1} << 21;
        std::vector<std::uint64_t> bits_; // made with the first name given
    };
    GivenNames given_;
    void noteGiven(const RenameOutcome& outcome);
    RenameOptions options_;
};

} // namespace shotstamp

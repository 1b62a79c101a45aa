#pragma once

#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace shotstamp {

// A copy as the journal keeps it: enough for undo to delete it only while it is still the copy
// made (its size and content hash), and the temporary name it is written under first, so that
// a copy cut short can be cleaned up. The size and hash are taken from the source before the
// copy, or (`hashed` false) noted later with noteHash, from the very bytes the copy was
// compared with, and durable before the copy takes its name.
struct CopyNote {
    std::string from;
    std::string to;
    std::string temporary;
    const files::FileIdentity* identity = nullptr; // the source; null when it could not be told
    bool hashed = true;
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
};

// Where a run writes down its steps so that it can be undone. A step (a move, a folder made, a
// copy) is noted, the notes are committed (made durable) and only then is the step made; its
// result is told afterwards. The numbers of all three kinds are one sequence.
class MoveJournal {
public:
    virtual ~MoveJournal() = default;
    // Notes a move about to be made and which file it moves (null: that could not be told);
    // returns the move's number in the run.
    virtual std::size_t note(const std::string& from, const std::string& to,
                             const files::FileIdentity* identity) = 0;
    // Notes a folder about to be made (it is missing now), given without a separator at its end.
    virtual std::size_t noteFolder(const std::string& folder) = 0;
    virtual std::size_t noteCopy(const CopyNote& copy) = 0;
    // Notes the size and hash of a copy noted without them; it takes its name after the commit.
    virtual void noteHash(std::size_t copy, std::uint64_t size, std::uint64_t hash) = 0;
    // Makes every step noted so far durable. False when the noted steps must not be made: the
    // journal could not be written and the run stops (see halted()).
    virtual bool commit() = 0;
    virtual void result(std::size_t move, bool moved) = 0;
    // True once a commit has failed and refused the moves.
    virtual bool halted() const = 0;
    // Why the journal could not be written; empty while all is well.
    virtual std::string problem() const = 0;
    // Before a run's first step: what runs killed earlier left half done (an empty claim of a
    // new name, a temporary copy) is removed where their journals tell it.
    virtual void tidyAfterKilledRuns() = 0;

    // True the first time a run puts a copy into `folder`: stale temporary copies there are
    // swept once per run.
    bool firstCopyInto(const std::string& folder) { return sweptFolders_.insert(folder).second; }

private:
    std::set<std::string> sweptFolders_;
};

} // namespace shotstamp

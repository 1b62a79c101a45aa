#pragma once

#include "platform/files.h"

#include <cstddef>
#include <string>

namespace shotstamp {

// Where a run writes down its moves so that it can be undone. A move is noted, the notes are
// committed (made durable) and only then is the move made; its result is told afterwards.
class MoveJournal {
public:
    virtual ~MoveJournal() = default;
    // Notes a move about to be made and which file it moves (null: that could not be told);
    // returns the move's number in the run.
    virtual std::size_t note(const std::string& from, const std::string& to,
                             const files::FileIdentity* identity) = 0;
    // Makes every move noted so far durable. False when the noted moves must not be made: the
    // journal could not be written and the run stops (see halted()).
    virtual bool commit() = 0;
    virtual void result(std::size_t move, bool moved) = 0;
    // True once a commit has failed and refused the moves.
    virtual bool halted() const = 0;
    // Why the journal could not be written; empty while all is well.
    virtual std::string problem() const = 0;
};

} // namespace shotstamp

#pragma once

// The move step: a file goes to its new name only after the journal line that tells how to
// bring it back is durable, never over another file, and only while it is the very file the
// decision was made on.

#include "file_system.h"
#include "move_journal.h"

#include <cstddef>
#include <string>

namespace shotstamp {

// A move written down in the journal and not made yet.
struct PreparedMove {
    std::string from;
    std::string to;
    bool identified = false;
    FileIdentity identity; // what `from` was when the move was written down
    std::size_t number = 0;
};

// Finds which file `from` is and notes the move in the journal (not durable yet). False, with
// the reason in `refusal`, when `expected` is given and `from` is another file now. With
// `known`, `expected` is taken as what `from` is, without asking the file system.
bool prepareMove(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                 const std::string& to, const FileIdentity* expected, PreparedMove& move,
                 MoveResult& refusal, bool known = false);

// Makes a prepared move whose journal line is durable. The file moves only when `from` still is
// the file written down; a file that turns out to be another one after the move is moved back.
// A taken name that is the file itself (a change of letter case on a file system that ignores
// it) is reached in two moves through a temporary name in the same folder.
MoveResult makeMove(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& move);

// One move on its own: prepared, committed, made. Refused without a move when the journal
// cannot be written.
MoveResult moveFile(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                    const std::string& to, const FileIdentity* expected = nullptr);

// The reason given for a file that is no longer the one read.
inline constexpr const char* kChangedFile = "another file has taken its name since it was read";

} // namespace shotstamp

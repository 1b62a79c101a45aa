#pragma once

// The move step: a file goes to its new name only after the journal line that tells how to
// bring it back is durable, never over another file, and only while it is the very file the
// decision was made on.

#include "file_system.h"
#include "move_journal.h"
#include "rename_options.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shotstamp {

// What one step of a run does: a file moved, a folder made, a file copied.
enum class StepKind { move, folder, copy };

// A step written down in the journal and not made yet. For a folder `to` is the folder (no
// separator at its end) and `from` is empty.
struct PreparedMove {
    StepKind kind = StepKind::move;
    std::string from;
    std::string to;
    std::string temporary; // a copy's first name, in the folder of `to`
    bool identified = false;
    FileIdentity identity; // what `from` was when the step was written down
    std::size_t number = 0;
};

// Finds which file `from` is and notes the move in the journal (not durable yet). False, with
// the reason in `refusal`, when `expected` is given and `from` is another file now. With
// `known`, `expected` is taken as what `from` is, without asking the file system.
bool prepareMove(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                 const std::string& to, const FileIdentity* expected, PreparedMove& move,
                 MoveResult& refusal, bool known = false);

// The same for any kind of step. A copy's source is read once here (not on a file system that
// pretends) for the size and content hash the journal keeps, unless `hashLater`: then the
// caller notes them (MoveJournal::noteHash) from the copy's own check, and commits that, before
// the copy takes its name. A folder needs neither `from` nor `expected`.
bool prepareStep(FileSystem& fileSystem, MoveJournal* journal, StepKind kind,
                 const std::string& from, const std::string& to, const FileIdentity* expected,
                 PreparedMove& step, MoveResult& refusal, bool known = false,
                 bool hashLater = false);

// Makes a prepared step whose journal line is durable (moved: the step is done). A move as
// below; a folder is made (one that another program made meanwhile is used but not counted as
// the run's); a copy is made as files::copyNoReplace makes it, and is deleted again when its
// source turns out to be another file than the one written down.
MoveResult makeStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step);

// A copy step made among others, in two halves. The first checks that `from` is still the file
// written down (false, with the journal told, when not), sweeps stale temporary copies from the
// target folder (once a run) and starts the copy. The second, once the copy's hash line is
// durable, gives a copy that passed its checks its name, unless `from` has become another file
// meanwhile; a copy that does not take its name leaves no temporary file. The journal is told.
bool startCopyStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step,
                   CheckedCopies& copies, std::vector<CheckedCopies::Finished>& finished);
MoveResult nameCopyStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step,
                        const CopyResult& checked);

// Takes a step made by this run back: a move is moved back, a folder deleted while empty, a
// copy deleted; the journal is told. False when that could not be done.
bool takeBack(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step);

// The folders that `to` needs and that are missing, outermost first, without a separator at
// their ends.
std::vector<std::string> missingFolders(FileSystem& fileSystem, const std::string& to);

// The size and content hash of a file as the journal keeps them for a copy; false when it
// cannot be read (with the system's text in `message`).
bool hashFile(FileSystem& fileSystem, const std::string& path, std::uint64_t& size,
              std::uint64_t& hash, std::string& message, FileIdentity* identity = nullptr);

// Deletes the temporary copies (".shotstamp-copy-*.part") that no run still writes in a folder.
void sweepStaleCopies(FileSystem& fileSystem, const std::string& folder);

// True for a name that only a temporary copy of this program carries.
bool isTemporaryCopyName(const std::string& name);

// Makes a prepared move whose journal line is durable. The file moves only when `from` still is
// the file written down; a file that turns out to be another one after the move is moved back.
// A taken name that is the file itself (a change of letter case on a file system that ignores
// it) is reached in two moves through a temporary name in the same folder.
MoveResult makeMove(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& move);

// One move on its own: prepared, committed, made. Refused without a move when the journal
// cannot be written.
MoveResult moveFile(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                    const std::string& to, const FileIdentity* expected = nullptr);

// moveFile, generalised. `to` may lie in another folder, which need not exist yet: every missing
// folder of it is made first, outermost first, each written down in the journal before it is
// made, so that undo can delete it once it is empty again (folders made for a file that then
// could not be placed are deleted again at once). With Placement::copy the file is copied
// (files::copyNoReplace: a temporary ".shotstamp-copy-*.part" name in the target folder,
// synced, compared byte for byte, then a no-replace rename; the source is never changed), and
// the journal keeps the copy's size and content hash. A move to another file system is refused
// (failed, with files::kOtherFileSystem as the message) before anything is made. Otherwise as
// moveFile: the journal is durable before each step, nothing is replaced, and `from` must still
// be `expected` when that is given.
// With `steps`, every step made (the folders, then the move or copy) is added to it, so that a
// caller can take them back, last first, with takeBack.
MoveResult placeFile(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                     const std::string& to, const FileIdentity* expected, Placement placement,
                     std::vector<PreparedMove>* steps = nullptr);

// The message of a folder step that found the folder made by another program meanwhile.
inline constexpr const char* kFolderOfAnother = "the folder was made by another program";

// The reason given for a file that is no longer the one read.
inline constexpr const char* kChangedFile = "another file has taken its name since it was read";

} // namespace shotstamp

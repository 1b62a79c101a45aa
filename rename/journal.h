#pragma once

#include "file_system.h"
#include "move_journal.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp {

// One step of a run as its journal tells it: a move, a folder made (`to` is the folder, `from`
// is empty) or a copy. The result is unknown when the run ended (was killed) between writing
// the step down and making it.
struct JournalMove {
    enum class Result { unknown, moved, failed };
    enum class Kind { move, folder, copy };
    Kind kind = Kind::move;
    std::string from;
    std::string to;
    Result result = Result::unknown;
    bool identified = false; // journals of earlier versions say nothing of the file
    FileIdentity identity;   // the file that was at `from` when the step was written down
    // A copy's temporary name, and the size and content hash of what was copied (hashed false:
    // the run ended before they were written, and before the copy could take its name).
    std::string temporary;
    bool hashed = false;
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
};

// A run's journal: a text file per run in the journal folder, named after its serial number and
// the moment it began.
struct JournalRun {
    std::string name;      // the file name without ".journal"
    std::string time;      // local time the run began, "YYYY-MM-DD HH:MM:SS"
    std::string startedBy; // the command line, or which button of the window
    std::string folder;    // the folder of the first move
    std::string undoes;    // for an undo run, the run it reverted
    // False while the run goes on, after a kill, or when moves may have been made that the
    // journal could not record.
    bool complete = false;
    std::vector<JournalMove> moves;

    // The files it moved or copied (folders made are not counted).
    std::size_t movedCount() const;
};

// How many runs are kept; the oldest go when a new one begins.
inline constexpr std::size_t kKeptRuns = 50;

// True for a name a run can have: a plain name in the journal folder, never a path.
bool isRunName(const std::string& name);

// The names of the runs in `journalFolder`, oldest first by their serial number (runs of
// earlier versions, named by the clock, before all others).
std::vector<std::string> listRuns(FileSystem& fileSystem, const std::string& journalFolder);

// Reads one run; with headerOnly the moves are not read. False when it cannot be read or is
// not a journal.
bool readRun(FileSystem& fileSystem, const std::string& journalFolder, const std::string& name,
             JournalRun& run, bool headerOnly = false);

// The latest run that neither is an undo nor was reverted by one; empty when there is none.
// Runs whose journal cannot be read are passed over and added to `unreadable` when given.
std::string lastUndoableRun(FileSystem& fileSystem, const std::string& journalFolder,
                            std::vector<std::string>* unreadable = nullptr);

// Writes a run's journal. The file is made at the first commit, so a run that moves nothing
// leaves none. A commit writes the moves noted since the last in one piece and waits until they
// are on the storage. When the journal cannot be made or written, a journal that stops refuses
// the moves (the run ends there); one that goes on lets them be made and records the run as
// incomplete where it still can. problem() tells why.
class RunJournal final : public MoveJournal {
public:
    enum class WhenUnwritable { stop, goOn };

    // An empty folder means the user's state folder, looked up at the first commit. The journal
    // reaches its file through `fileSystem` (null: the real one).
    RunJournal(std::string folder, std::string startedBy, std::string undoes = {},
               WhenUnwritable policy = WhenUnwritable::stop, FileSystem* fileSystem = nullptr);
    // Writes the results not yet written and whether the run is complete.
    ~RunJournal() override;
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    std::size_t note(const std::string& from, const std::string& to,
                     const FileIdentity* identity) override;
    std::size_t noteFolder(const std::string& folder) override;
    std::size_t noteCopy(const CopyNote& copy) override;
    void noteHash(std::size_t copy, std::uint64_t size, std::uint64_t hash) override;
    bool commit() override;
    void result(std::size_t move, bool moved) override;
    bool halted() const override { return halted_; }
    std::string problem() const override { return problem_; }
    // Looks at the last few runs whose journals do not say they ended: an empty claim of a new
    // name and a temporary copy they left are removed (see tidyKilledRun).
    void tidyAfterKilledRuns() override;

    // Before the first move only: what started the run.
    void setStartedBy(std::string startedBy) { startedBy_ = std::move(startedBy); }
    // The run's name once its journal exists.
    const std::string& name() const { return name_; }
    // The folder the journal is written in, once known.
    const std::string& folder() const { return folder_; }

private:
    bool open(const std::string& firstFrom);
    bool flush(bool sync);
    // The path made absolute, with the current folder asked for once.
    std::string absolute(const std::string& path);
    std::size_t noteLine(std::string_view kind, const FileIdentity* identity,
                         std::string_view extra, const std::string& from, const std::string& to,
                         std::string_view temporary);

    std::string folder_;
    std::string startedBy_;
    std::string undoes_;
    WhenUnwritable policy_;
    FileSystem& fileSystem_;
    std::string name_;
    std::string problem_;
    FileHandle file_;
    std::string pending_;          // lines not written yet
    std::string firstFrom_;        // the first move's old path, for the run's folder
    bool firstFromFolder_ = false; // firstFrom_ is a folder the run makes, not a file
    std::string currentFolder_;
    std::size_t moves_ = 0;
    bool failed_ = false;
    bool halted_ = false;
};

enum class UndoKind {
    reverted,
    folderRemoved,   // a folder the run made, empty again, was deleted
    folderKept,      // a folder the run made holds files the run did not put there: it stays
    copyDeleted,     // a copy the run made, still as made, was deleted
    copyChanged,     // the file under a copy's name is not the copy as made: it stays
    leftoverRemoved, // a temporary copy of a copy cut short was deleted

    notMoved,     // the run never moved it: it still has its old name (a claim left is removed)
    notAtNewName, // nothing carries the new name any more (moved on since)
    otherFile,    // the file under the new name is not the one the run moved
    unidentified, // the journal does not say which file was moved (written by an older version)
    oldNameTaken, // another file has the old name; nothing is replaced
    refused,      // the system refused the move, or the undo's own journal could not be written
};

struct UndoStep {
    UndoKind kind = UndoKind::refused;
    std::string newPath; // where the run put the file
    std::string oldPath; // where it goes back to
    std::string message; // the system's text for refused
};

// What a killed run left half done that no later step can finish: an empty file under a move's
// new name while the file itself still has its old name (the claim of the exclusive-create way
// of moving), and temporary copies no run still writes. Each is reported as notMoved (claim) or
// leftoverRemoved.
void tidyKilledRun(const JournalRun& run, FileSystem& fileSystem,
                   const std::function<void(const UndoStep&)>& report);

// Reverts the run's steps, last first: moves are moved back, copies deleted while they are
// still as made, folders the run made deleted when empty again. A move is reverted
// with a move that never replaces and only when the file under the new name is the one the run
// moved. A step that cannot be reverted is reported
// and left alone; the others are still reverted. Moves the run knew had failed are passed over.
// `journal` (may be null) records the moves of the undo itself; when it halts, the undo stops.
void undoRun(const JournalRun& run, FileSystem& fileSystem, MoveJournal* journal,
             const std::function<void(const UndoStep&)>& report);

} // namespace shotstamp

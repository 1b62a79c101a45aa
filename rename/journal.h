#pragma once

#include "file_system.h"
#include "rename_options.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace shotstamp {

// One move of a run as its journal tells it. The result is unknown when the run ended (was
// killed) between writing the move down and making it.
struct JournalMove {
    enum class Result { unknown, moved, failed };
    std::string from;
    std::string to;
    Result result = Result::unknown;
};

// A run's journal: a text file per run in the journal folder, named after the moment it began.
struct JournalRun {
    std::string name;      // the file name without ".journal"; sorts by time
    std::string time;      // local time the run began, "YYYY-MM-DD HH:MM:SS"
    std::string startedBy; // the command line, or which button of the window
    std::string folder;    // the folder of the first move
    std::string undoes;    // for an undo run, the run it reverted
    std::vector<JournalMove> moves;

    std::size_t movedCount() const;
};

// How many runs are kept; the oldest go when a new one begins.
inline constexpr std::size_t kKeptRuns = 50;

// The names of the runs in `journalFolder`, oldest first.
std::vector<std::string> listRuns(FileSystem& fileSystem, const std::string& journalFolder);

// Reads one run; with headerOnly the moves are not read. False when it cannot be read.
bool readRun(FileSystem& fileSystem, const std::string& journalFolder, const std::string& name,
             JournalRun& run, bool headerOnly = false);

// The latest run that neither is an undo nor was reverted by one; empty when there is none.
std::string lastUndoableRun(FileSystem& fileSystem, const std::string& journalFolder);

// Writes a run's journal. The file is made at the first move, so a run that moves nothing
// leaves none. Each move is on disk (handed to the system) before it is made. When the journal
// cannot be made or written it goes quiet and the run goes on; problem() tells why.
class RunJournal final : public MoveJournal {
public:
    // An empty folder means the user's state folder, looked up at the first move.
    RunJournal(std::string folder, std::string startedBy, std::string undoes = {});
    ~RunJournal() override;
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    void beforeMove(const std::string& from, const std::string& to) override;
    void afterMove(bool moved) override;

    // Before the first move only: what started the run.
    void setStartedBy(std::string startedBy) { startedBy_ = std::move(startedBy); }
    // The run's name once its journal exists.
    const std::string& name() const { return name_; }
    const std::string& problem() const { return problem_; }

private:
    bool open(const std::string& firstFrom);
    void write(const std::string& line);

    std::string folder_;
    std::string startedBy_;
    std::string undoes_;
    std::string name_;
    std::string problem_;
    FileHandle file_;
    bool failed_ = false;
};

enum class UndoKind {
    reverted,
    notAtNewName, // nothing carries the new name any more (never moved, or moved on since)
    oldNameTaken, // another file has the old name; nothing is replaced
    refused,      // the system refused the move
};

struct UndoStep {
    UndoKind kind = UndoKind::refused;
    std::string newPath; // where the run put the file
    std::string oldPath; // where it goes back to
    std::string message; // the system's text for refused
};

// Reverts the run's moves, last first, each with a move that never replaces. A move that cannot
// be reverted is reported and left alone; the others are still reverted. Moves the run knew had
// failed are passed over. `journal` (may be null) records the moves of the undo itself.
void undoRun(const JournalRun& run, FileSystem& fileSystem, MoveJournal* journal,
             const std::function<void(const UndoStep&)>& report);

} // namespace shotstamp

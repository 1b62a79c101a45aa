#include "move_step.h"

namespace shotstamp {

namespace {

std::string folderOf(const std::string& path) {
    std::size_t cut = path.size();
    while (cut > 0 && !files::isPathSeparator(path[cut - 1])) {
        --cut;
    }
    return path.substr(0, cut);
}

MoveResult notJournaled(MoveJournal& journal) {
    return {MoveStatus::failed,
            "not moved: the journal cannot be written (" + journal.problem() + ")"};
}

MoveResult moveOnce(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                    const std::string& to, const FileIdentity* expected, bool caseStep);

// A change of letter case only, where the file system sees one name: through a free temporary
// name, each step journaled and never replacing.
MoveResult moveThroughTemporaryName(FileSystem& fileSystem, MoveJournal* journal,
                                    const PreparedMove& move) {
    const std::string folder = folderOf(move.to);
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string temporary =
            folder + ".shotstamp-case-" + std::to_string(attempt) + ".tmp";
        if (fileSystem.exists(temporary)) {
            continue;
        }
        const MoveResult first =
            moveFile(fileSystem, journal, move.from, temporary, &move.identity);
        if (first.status == MoveStatus::targetExists) {
            continue;
        }
        if (first.status != MoveStatus::moved) {
            return first;
        }
        const MoveResult second =
            moveOnce(fileSystem, journal, temporary, move.to, &move.identity, false);
        if (second.status != MoveStatus::moved) {
            // Back to where it was; the journal tells undo where it is if this fails too.
            moveOnce(fileSystem, journal, temporary, move.from, &move.identity, false);
        }
        return second;
    }
    return {MoveStatus::failed, "no free temporary name"};
}

} // namespace

bool prepareMove(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                 const std::string& to, const FileIdentity* expected, PreparedMove& move,
                 MoveResult& refusal, bool known) {
    move.from = from;
    move.to = to;
    // On a file system that only pretends, the file read is the file moved.
    if (expected != nullptr && (known || fileSystem.pretends())) {
        move.identified = true;
        move.identity = *expected;
    } else {
        move.identified = fileSystem.identifyPath(from, move.identity);
    }
    if (expected != nullptr && move.identified && !(move.identity == *expected)) {
        refusal = {MoveStatus::failed, kChangedFile};
        return false;
    }
    if (journal != nullptr) {
        move.number = journal->note(from, to, move.identified ? &move.identity : nullptr);
    }
    return true;
}

namespace {

MoveResult makeMoveStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& move,
                        bool caseStep) {
    FileIdentity now;
    const bool checked = move.identified && !fileSystem.pretends();
    if (checked && fileSystem.identifyPath(move.from, now) && !(now == move.identity)) {
        if (journal != nullptr) {
            journal->result(move.number, false);
        }
        return {MoveStatus::failed, kChangedFile};
    }
    MoveResult result = fileSystem.moveNoReplace(move.from, move.to);
    if (caseStep && result.status == MoveStatus::targetExists && move.identified &&
        move.from != move.to && fileSystem.identifyPath(move.to, now) && now == move.identity) {
        if (journal != nullptr) {
            journal->result(move.number, false);
        }
        return moveThroughTemporaryName(fileSystem, journal, move);
    }
    if (result.status == MoveStatus::moved && checked && fileSystem.identifyPath(move.to, now) &&
        !(now == move.identity)) {
        // Another program put a file under the old name between the check and the move.
        if (journal != nullptr) {
            journal->result(move.number, false);
        }
        fileSystem.moveNoReplace(move.to, move.from);
        return {MoveStatus::failed, kChangedFile};
    }
    if (journal != nullptr) {
        journal->result(move.number, result.status == MoveStatus::moved);
    }
    return result;
}

MoveResult moveOnce(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                    const std::string& to, const FileIdentity* expected, bool caseStep) {
    // A name taken by another file is refused before anything is written down, so that a run
    // whose every name is taken leaves no journal.
    FileIdentity atTarget;
    FileIdentity atSource;
    if (fileSystem.exists(to) &&
        !(fileSystem.identifyPath(to, atTarget) && fileSystem.identifyPath(from, atSource) &&
          atTarget == atSource)) {
        return {MoveStatus::targetExists, {}};
    }
    PreparedMove move;
    MoveResult refusal;
    if (!prepareMove(fileSystem, journal, from, to, expected, move, refusal)) {
        return refusal;
    }
    if (journal != nullptr && !journal->commit()) {
        return notJournaled(*journal);
    }
    return makeMoveStep(fileSystem, journal, move, caseStep);
}

} // namespace

MoveResult makeMove(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& move) {
    return makeMoveStep(fileSystem, journal, move, true);
}

MoveResult moveFile(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                    const std::string& to, const FileIdentity* expected) {
    return moveOnce(fileSystem, journal, from, to, expected, true);
}

} // namespace shotstamp

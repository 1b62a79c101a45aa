#include "move_step.h"

#include "content_hash.h"

#include <cstring>
#include <mutex>
#include <set>

namespace shotstamp {

namespace {

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
    const std::string folder = files::folderOf(move.to);
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
    return prepareStep(fileSystem, journal, StepKind::move, from, to, expected, move, refusal,
                       known);
}

bool prepareStep(FileSystem& fileSystem, MoveJournal* journal, StepKind kind,
                 const std::string& from, const std::string& to, const FileIdentity* expected,
                 PreparedMove& move, MoveResult& refusal, bool known, bool hashLater) {
    move.kind = kind;
    move.from = from;
    move.to = to;
    if (kind == StepKind::folder) {
        move.number = journal != nullptr ? journal->noteFolder(to) : 0;
        return true;
    }
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
    if (kind == StepKind::copy) {
        CopyNote note{from, to, files::temporaryCopyPath(to),
                      move.identified ? &move.identity : nullptr};
        move.temporary = note.temporary;
        note.hashed = !hashLater;
        if (!fileSystem.pretends() && !hashLater) {
            // The bytes hashed are those of the file written down, or the copy is not made.
            FileIdentity read;
            std::string message;
            if (!hashFile(fileSystem, from, note.size, note.hash, message, &read)) {
                refusal = {MoveStatus::failed, "reading the source: " + message};
                return false;
            }
            if (move.identified && !(read == move.identity)) {
                refusal = {MoveStatus::failed, kChangedFile};
                return false;
            }
        }
        move.number = journal != nullptr ? journal->noteCopy(note) : 0;
        return true;
    }
    if (journal != nullptr) {
        move.number = journal->note(from, to, move.identified ? &move.identity : nullptr);
    }
    return true;
}

namespace {

MoveResult makeMoveStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& move,
                        bool caseStep) {
    // The file is checked after the move only: a swap before it is caught there too (and moved
    // back), and a check before would cost a query per picture, a round trip on a share.
    FileIdentity now;
    const bool checked = move.identified && !fileSystem.pretends();
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
        // Another program put a file under the old name since it was read.
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
    return makeStep(fileSystem, journal, move);
}

MoveResult moveFile(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                    const std::string& to, const FileIdentity* expected) {
    return moveOnce(fileSystem, journal, from, to, expected, true);
}

namespace {

void tell(MoveJournal* journal, std::size_t number, bool done) {
    if (journal != nullptr) {
        journal->result(number, done);
    }
}

MoveResult makeFolderStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step) {
    std::string message;
    if (fileSystem.createFolder(step.to, message)) {
        tell(journal, step.number, true);
        return {MoveStatus::moved, {}};
    }
    tell(journal, step.number, false);
    // Made by another program meanwhile: used, but never deleted by this run or its undo.
    if (fileSystem.exists(step.to)) {
        return {MoveStatus::moved, kFolderOfAnother};
    }
    return {MoveStatus::failed, "cannot make the folder " + step.to + ": " + message};
}

// Sweeps each folder once per run; without a journal, once per process.
bool firstCopyInto(MoveJournal* journal, const std::string& folder) {
    if (journal != nullptr) {
        return journal->firstCopyInto(folder);
    }
    static std::mutex mutex;
    static std::set<std::string> swept;
    const std::lock_guard lock(mutex);
    return swept.insert(folder).second;
}

MoveResult makeCopyStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step) {
    const bool checked = step.identified && !fileSystem.pretends();
    FileIdentity now;
    if (checked && (!fileSystem.identifyPath(step.from, now) || !(now == step.identity))) {
        tell(journal, step.number, false);
        return {MoveStatus::failed, kChangedFile};
    }
    if (const std::string folder = files::folderOf(step.to);
        !fileSystem.pretends() && firstCopyInto(journal, folder)) {
        sweepStaleCopies(fileSystem, folder);
    }
    const CopyResult copied = fileSystem.copyNoReplace(step.from, step.to, step.temporary);
    if (copied.status == CopyStatus::copied && checked &&
        (!fileSystem.identifyPath(step.from, now) || !(now == step.identity))) {
        // The source was swapped while it was copied: the copy is of another file.
        fileSystem.removeFile(step.to);
        tell(journal, step.number, false);
        return {MoveStatus::failed, kChangedFile};
    }
    tell(journal, step.number, copied.status == CopyStatus::copied);
    switch (copied.status) {
    case CopyStatus::copied:
        return {MoveStatus::moved, {}};
    case CopyStatus::targetExists:
        return {MoveStatus::targetExists, {}};
    case CopyStatus::failed:
        break;
    }
    return {MoveStatus::failed, copied.message};
}

} // namespace

bool startCopyStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step,
                   CheckedCopies& copies, std::vector<CheckedCopies::Finished>& finished) {
    FileIdentity now;
    if (step.identified && !fileSystem.pretends() &&
        (!fileSystem.identifyPath(step.from, now) || !(now == step.identity))) {
        tell(journal, step.number, false);
        return false;
    }
    if (const std::string folder = files::folderOf(step.to); firstCopyInto(journal, folder)) {
        sweepStaleCopies(fileSystem, folder);
    }
    copies.add(step.from, step.to, step.temporary, finished);
    return true;
}

MoveResult nameCopyStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step,
                        const CopyResult& checked) {
    MoveResult result{MoveStatus::failed, checked.message};
    FileIdentity now;
    if (checked.status == CopyStatus::targetExists) {
        result = {MoveStatus::targetExists, {}};
    } else if (checked.status != CopyStatus::copied) {
        // The copy's own check failed: it has removed what it wrote.
    } else if (step.identified && !fileSystem.pretends() &&
               (!fileSystem.identifyPath(step.from, now) || !(now == step.identity))) {
        // The source was swapped while it was copied: the copy is of another file.
        fileSystem.removeFile(step.temporary);
        result = {MoveStatus::failed, kChangedFile};
    } else {
        result = fileSystem.moveNoReplace(step.temporary, step.to);
        if (result.status != MoveStatus::moved) {
            fileSystem.removeFile(step.temporary);
        }
        if (result.status == MoveStatus::failed) {
            result.message = "giving the copy its name: " + result.message;
        }
    }
    tell(journal, step.number, result.status == MoveStatus::moved);
    return result;
}

namespace {

std::string withoutSeparator(std::string folder) {
    while (folder.size() > 1 && files::isPathSeparator(folder.back())) {
        folder.pop_back();
    }
    return folder;
}

// True when `folder`, or the nearest of its parents that exists, is on another file system than
// `from`.
bool onOtherFileSystem(FileSystem& fileSystem, const std::string& from, std::string folder,
                       const FileIdentity* expected) {
    FileIdentity source;
    if (expected != nullptr) {
        source = *expected;
    } else if (!fileSystem.identifyPath(from, source)) {
        return false; // the move itself will say what is wrong
    }
    for (;;) {
        FileIdentity there;
        if (fileSystem.identifyPath(folder.empty() ? "." : folder, there)) {
            return there.volume != source.volume;
        }
        if (folder.empty()) {
            return false;
        }
        const std::string parent = withoutSeparator(files::folderOf(folder));
        if (parent == folder) {
            return false;
        }
        folder = parent;
    }
}

// Makes one step on its own: noted, committed, made.
MoveResult stepAlone(FileSystem& fileSystem, MoveJournal* journal, StepKind kind,
                     const std::string& from, const std::string& to, const FileIdentity* expected,
                     PreparedMove& step) {
    MoveResult refusal;
    if (!prepareStep(fileSystem, journal, kind, from, to, expected, step, refusal)) {
        return refusal;
    }
    if (journal != nullptr && !journal->commit()) {
        return notJournaled(*journal);
    }
    return makeStep(fileSystem, journal, step);
}

} // namespace

MoveResult makeStep(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step) {
    switch (step.kind) {
    case StepKind::folder:
        return makeFolderStep(fileSystem, journal, step);
    case StepKind::copy:
        return makeCopyStep(fileSystem, journal, step);
    case StepKind::move:
        break;
    }
    return makeMoveStep(fileSystem, journal, step, true);
}

bool takeBack(FileSystem& fileSystem, MoveJournal* journal, const PreparedMove& step) {
    MoveJournal* const still = journal != nullptr && journal->halted() ? nullptr : journal;
    switch (step.kind) {
    case StepKind::folder:
        if (!fileSystem.removeFolder(step.to)) {
            return false;
        }
        break;
    case StepKind::copy:
        if (!fileSystem.removeFile(step.to)) {
            return false;
        }
        break;
    case StepKind::move:
        // A file put back needs no way back: it goes also when the journal cannot be written.
        return moveFile(fileSystem, still, step.to, step.from).status == MoveStatus::moved;
    }
    tell(still, step.number, false);
    return true;
}

std::vector<std::string> missingFolders(FileSystem& fileSystem, const std::string& to) {
    std::vector<std::string> missing;
    for (std::string folder = withoutSeparator(files::folderOf(to));
         !folder.empty() && !files::isPathSeparator(folder.back()) && !fileSystem.exists(folder);
         folder = withoutSeparator(files::folderOf(folder))) {
        missing.insert(missing.begin(), folder);
    }
    return missing;
}

bool hashFile(FileSystem& fileSystem, const std::string& path, std::uint64_t& size,
              std::uint64_t& hash, std::string& message, FileIdentity* identity) {
    const FileHandle file = fileSystem.openForReading(path, message);
    if (!file) {
        return false;
    }
    if (identity != nullptr && !fileSystem.identifyOpenFile(file.get(), *identity)) {
        *identity = {};
    }
    ContentHash content;
    std::vector<char> buffer(1 << 16);
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0;) {
        content.add(buffer.data(), got);
    }
    if (std::ferror(file.get()) != 0) {
        message = "read error";
        return false;
    }
    size = content.size();
    hash = content.value();
    return true;
}

bool isTemporaryCopyName(const std::string& name) {
    constexpr std::string_view kStart = ".shotstamp-copy-";
    constexpr std::string_view kEnd = ".part";
    return name.size() > kStart.size() + kEnd.size() && name.starts_with(kStart) &&
           name.ends_with(kEnd);
}

void sweepStaleCopies(FileSystem& fileSystem, const std::string& folder) {
    files::FolderListing entries;
    if (!fileSystem.listFolder(folder, entries)) {
        return;
    }
    for (const files::FolderListing::Entry entry : entries) {
        const std::string name(entry.name);
        if (entry.kind == files::EntryKind::file && isTemporaryCopyName(name)) {
            fileSystem.removeUnlessInUse(folder + name);
        }
    }
}

MoveResult placeFile(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                     const std::string& to, const FileIdentity* expected, Placement placement,
                     std::vector<PreparedMove>* steps) {
    const bool move = placement == Placement::move;
    const bool sameFolder = files::folderOf(from) == files::folderOf(to);
    PreparedMove last;
    last.from = from;
    last.to = to;
    if (move && sameFolder) {
        const MoveResult moved = moveFile(fileSystem, journal, from, to, expected);
        if (steps != nullptr && moved.status == MoveStatus::moved) {
            steps->push_back(std::move(last));
        }
        return moved;
    }
    const std::vector<std::string> missing =
        sameFolder ? std::vector<std::string>() : missingFolders(fileSystem, to);
    if (move &&
        onOtherFileSystem(fileSystem, from,
                          missing.empty() ? withoutSeparator(files::folderOf(to))
                                          : withoutSeparator(files::folderOf(missing.front())),
                          expected)) {
        return {MoveStatus::failed, files::kOtherFileSystem};
    }
    // Only a name in a folder that exists can be taken: it is refused before the source is read
    // (a move checks its own).
    if (!move && missing.empty() && fileSystem.exists(to)) {
        return {MoveStatus::targetExists, {}};
    }
    std::vector<PreparedMove> made;
    MoveResult result{MoveStatus::moved, {}};
    for (const std::string& folder : missing) {
        PreparedMove step;
        result = stepAlone(fileSystem, journal, StepKind::folder, {}, folder, nullptr, step);
        if (result.status != MoveStatus::moved) {
            break;
        }
        if (result.message.empty()) {
            made.push_back(std::move(step));
        }
    }
    if (result.status == MoveStatus::moved) {
        if (move) {
            result = moveFile(fileSystem, journal, from, to, expected);
        } else {
            result = stepAlone(fileSystem, journal, StepKind::copy, from, to, expected, last);
        }
    }
    if (result.status != MoveStatus::moved) {
        // Nothing stays of a file that could not be placed: its new folders go again.
        for (auto it = made.rbegin(); it != made.rend(); ++it) {
            takeBack(fileSystem, journal, *it);
        }
    } else if (steps != nullptr) {
        steps->insert(steps->end(), made.begin(), made.end());
        steps->push_back(std::move(last));
    }
    return result;
}

} // namespace shotstamp

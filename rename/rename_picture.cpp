#include "rename_picture.h"

#include "companions.h"
#include "late_exif.h"
#include "move_step.h"
#include "new_name.h"
#include "picture_date.h"

#include <algorithm>
#include <vector>

namespace shotstamp {

namespace {

// The tries of --counter: the name itself, then "-2" up to this.
constexpr int kCounterLimit = 9999;

} // namespace

MoveResult moveBack(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                    const std::string& to) {
    return moveFile(fileSystem, journal != nullptr && journal->halted() ? nullptr : journal, from,
                    to);
}

namespace {

// Moves a renamed picture's companions after it, from `folder` into `target`. All or nothing:
// when one cannot move, those already moved and the picture itself go back, and the outcome says
// why the picture was kept; when one of them cannot go back either, the outcome names every file
// left out of place.
void moveCompanions(const std::string& folder, const std::string& target,
                    const std::vector<CompanionMove>& companions, FileSystem& fileSystem,
                    const RenameOptions& options, RenameOutcome& outcome) {
    std::size_t done = 0;
    MoveResult failure;
    for (; done < companions.size(); ++done) {
        const CompanionMove& c = companions[done];
        if (folder + c.from == target + c.to) {
            continue;
        }
        failure = moveFile(fileSystem, options.journal, folder + c.from, target + c.to);
        if (failure.status != MoveStatus::moved) {
            break;
        }
    }
    if (done == companions.size()) {
        for (const CompanionMove& c : companions) {
            options.companions->noteMove(folder, c.from, c.to);
            outcome.companions.emplace_back(folder + c.from, target + c.to);
        }
        return;
    }
    outcome.kind = failure.status == MoveStatus::targetExists ? RenameKind::nameExists
                                                              : RenameKind::renameRefused;
    outcome.systemMessage =
        companions[done].from + ": " +
        (failure.status == MoveStatus::targetExists ? "its new name exists" : failure.message);
    std::vector<std::pair<std::string, std::string>> back;
    for (std::size_t i = done; i-- > 0;) {
        if (folder + companions[i].from != target + companions[i].to) {
            back.emplace_back(target + companions[i].to, folder + companions[i].from);
        }
    }
    back.emplace_back(outcome.newPath, outcome.oldPath);
    for (const auto& [from, to] : back) {
        const MoveResult moved = moveBack(fileSystem, options.journal, from, to);
        if (moved.status != MoveStatus::moved) {
            outcome.kind = RenameKind::partlyMoved;
            outcome.systemMessage += "; could not move " + from + " back to " + to +
                                     (moved.message.empty() ? "" : ": " + moved.message);
        }
    }
}

} // namespace

RenameOutcome renameScanned(const PictureScan& scan, PrefixSource& prefix, FileSystem& fileSystem,
                            const RenameOptions& options) {
    RenameOutcome outcome;
    outcome.oldPath = scan.folder + scan.fileName;
    // A companion is never renamed on its own, also when it has moved with its picture already.
    std::string picture;
    if (options.companions != nullptr &&
        options.companions->goesWith(scan.folder, scan.fileName, picture)) {
        outcome.kind = RenameKind::companionOfPicture;
        outcome.systemMessage = "it moves with " + picture;
        return outcome;
    }
    if (!scan.opened) {
        outcome.kind = RenameKind::cannotOpen;
        outcome.systemMessage = scan.systemMessage;
        return outcome;
    }
    PictureRecord lateRecord{};
    const bool late =
        options.readPastSections && readExifPastSections(scan, fileSystem, lateRecord);
    const PictureDate date = datePicture(scan, late ? lateRecord : scan.record, options);
    outcome.dateSource = date.source;
    outcome.notes = date.notes;
    if (date.kept != RenameKind::renamed) {
        outcome.kind = date.kept;
        outcome.systemMessage = date.message;
        return outcome;
    }

    // The prefix is read now, for this picture: the user may have changed it meanwhile.
    NewName newName;
    std::string error;
    if (!newName.prepare(scan, date, prefix.currentPrefix(), options, error)) {
        outcome.kind = RenameKind::renameRefused;
        outcome.systemMessage = error;
        return outcome;
    }
    if (!newName.extensionNote().empty()) {
        outcome.notes.insert(outcome.notes.begin(), newName.extensionNote());
    }
    const int tries = options.counter ? kCounterLimit : 1;
    if (newName.alreadyCarried(outcome.oldPath, tries)) {
        outcome.newPath = outcome.oldPath;
        outcome.kind = RenameKind::alreadyNamed;
        return outcome;
    }
    const std::string& target = newName.folder();
    for (int n = 1; n <= tries; ++n) {
        outcome.newPath = newName.path(n);
        std::vector<CompanionMove> companions;
        if (options.companions != nullptr) {
            companions = options.companions->companionsOf(scan.folder, scan.fileName,
                                                          outcome.newPath.substr(target.size()));
            const auto taken = std::find_if(companions.begin(), companions.end(), [&](auto& c) {
                return scan.folder + c.from != target + c.to && fileSystem.exists(target + c.to);
            });
            if (taken != companions.end()) {
                if (options.counter) {
                    continue;
                }
                outcome.kind = RenameKind::nameExists;
                outcome.systemMessage = "a companion's new name exists: " + taken->to;
                return outcome;
            }
        }
        const MoveResult moved =
            moveFile(fileSystem, options.journal, outcome.oldPath, outcome.newPath,
                     scan.identified ? &scan.identity : nullptr);
        if (moved.status == MoveStatus::targetExists && options.counter) {
            continue;
        }
        switch (moved.status) {
        case MoveStatus::moved:
            outcome.kind = RenameKind::renamed;
            moveCompanions(scan.folder, target, companions, fileSystem, options, outcome);
            break;
        case MoveStatus::targetExists:
            outcome.kind = RenameKind::nameExists;
            break;
        case MoveStatus::failed:
            outcome.kind = RenameKind::renameRefused;
            outcome.systemMessage = moved.message;
            break;
        }
        return outcome;
    }
    outcome.kind = RenameKind::nameExists;
    return outcome;
}

} // namespace shotstamp

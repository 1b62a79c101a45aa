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

namespace {

// One file to its new path. Only a run with a folder template makes folders, or a copy: the
// window's prefix may hold a separator, and then its picture goes into that folder if it exists,
// as the plain rename takes it, or keeps its name.
MoveResult place(FileSystem& fileSystem, const RenameOptions& options, const std::string& from,
                 const std::string& to, const FileIdentity* expected,
                 std::vector<PreparedMove>& steps) {
    if (options.into == nullptr && options.placement == Placement::move) {
        const MoveResult moved = moveFile(fileSystem, options.journal, from, to, expected);
        if (moved.status == MoveStatus::moved) {
            steps.push_back(PreparedMove{StepKind::move, from, to, {}, false, {}, 0});
        }
        return moved;
    }
    return placeFile(fileSystem, options.journal, from, to, expected, options.placement, &steps);
}

// True when both files can be read and hold the same bytes (by size and content hash): a copy
// that an earlier run made already.
bool sameContent(FileSystem& fileSystem, const std::string& a, const std::string& b) {
    std::uint64_t sizes[2] = {0, 0};
    std::uint64_t hashes[2] = {0, 0};
    std::string message;
    return hashFile(fileSystem, a, sizes[0], hashes[0], message) &&
           hashFile(fileSystem, b, sizes[1], hashes[1], message) && sizes[0] == sizes[1] &&
           hashes[0] == hashes[1];
}

// Places a renamed picture's companions after it, from `folder` into `target`, as the picture
// was placed (`steps` holds its steps). All or nothing: when one cannot be placed, every step
// made for the group is taken back, last first, and the outcome says why the picture was kept;
// when one of them cannot be taken back, the outcome names every file left out of place.
void placeCompanions(const std::string& folder, const std::string& target,
                     const std::vector<CompanionMove>& companions, FileSystem& fileSystem,
                     const RenameOptions& options, std::vector<PreparedMove>& steps,
                     RenameOutcome& outcome) {
    std::size_t done = 0;
    MoveResult failure;
    for (; done < companions.size(); ++done) {
        const CompanionMove& c = companions[done];
        if (folder + c.from == target + c.to ||
            (options.placement == Placement::copy && fileSystem.exists(target + c.to))) {
            continue; // in place already, or copied by an earlier run (the same bytes)
        }
        failure = place(fileSystem, options, folder + c.from, target + c.to, nullptr, steps);
        if (failure.status != MoveStatus::moved) {
            break;
        }
    }
    if (done == companions.size()) {
        for (const CompanionMove& c : companions) {
            if (options.placement == Placement::move) {
                options.companions->noteMove(folder, c.from, c.to);
            }
            outcome.companions.emplace_back(folder + c.from, target + c.to);
        }
        return;
    }
    outcome.kind = failure.status == MoveStatus::targetExists ? RenameKind::nameExists
                                                              : RenameKind::renameRefused;
    outcome.systemMessage =
        companions[done].from + ": " +
        (failure.status == MoveStatus::targetExists ? "its new name exists" : failure.message);
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (!takeBack(fileSystem, options.journal, *step)) {
            outcome.kind = RenameKind::partlyMoved;
            outcome.systemMessage +=
                "; could not take back " +
                (step->kind == StepKind::move ? step->to + " to " + step->from : step->to);
        }
    }
}

} // namespace

namespace {

// The date and name steps: false with the outcome filled when the file keeps its name (no date, a
// companion, in place already); true with `newName` ready for the move.
bool decide(const PictureScan& scan, PrefixSource& prefix, FileSystem& fileSystem,
            const RenameOptions& options, RenameOutcome& outcome, NewName& newName) {
    // A companion is never renamed on its own, also when it has moved with its picture already.
    std::string picture;
    if (options.companions != nullptr &&
        options.companions->goesWith(scan.folder, scan.fileName, picture)) {
        outcome.kind = RenameKind::companionOfPicture;
        outcome.systemMessage = "it moves with " + picture;
        return false;
    }
    if (!scan.opened) {
        outcome.kind = RenameKind::cannotOpen;
        outcome.systemMessage = scan.systemMessage;
        return false;
    }
    ExifDate lateExif;
    const bool late = options.readPastSections && readExifPastSections(scan, fileSystem, lateExif);
    const PictureDate date = datePicture(scan, late ? lateExif : scan.exif, options);
    outcome.dateSource = date.source;
    outcome.notes = date.notes;
    if (date.kept != RenameKind::renamed) {
        outcome.kind = date.kept;
        outcome.systemMessage = date.message;
        return false;
    }
    // The prefix is read now, for this picture: the user may have changed it meanwhile.
    std::string error;
    if (!newName.prepare(scan, date, prefix.currentPrefix(), options, error)) {
        outcome.kind = RenameKind::renameRefused;
        outcome.systemMessage = error;
        return false;
    }
    if (!newName.extensionNote().empty()) {
        outcome.notes.insert(outcome.notes.begin(), newName.extensionNote());
    }
    if (newName.alreadyCarried(outcome.oldPath, options.counter ? kCounterLimit : 1)) {
        outcome.newPath = outcome.oldPath;
        outcome.kind = RenameKind::alreadyNamed;
        return false;
    }
    return true;
}

// The companions of the n-th try of a name, or false with the outcome filled when one of their
// new names is taken by another file (`retry`: the next try may do).
bool companionsFor(const PictureScan& scan, const std::string& target, FileSystem& fileSystem,
                   const RenameOptions& options, RenameOutcome& outcome,
                   std::vector<CompanionMove>& companions) {
    if (options.companions == nullptr) {
        return true;
    }
    const bool copy = options.placement == Placement::copy;
    companions = options.companions->companionsOf(scan.folder, scan.fileName,
                                                  outcome.newPath.substr(target.size()));
    const auto taken = std::find_if(companions.begin(), companions.end(), [&](auto& c) {
        return scan.folder + c.from != target + c.to && fileSystem.exists(target + c.to) &&
               !(copy && sameContent(fileSystem, scan.folder + c.from, target + c.to));
    });
    if (taken == companions.end()) {
        return true;
    }
    outcome.kind = RenameKind::nameExists;
    outcome.systemMessage = "a companion's new name exists: " + taken->to;
    return false;
}

} // namespace

RenameOutcome renameScanned(const PictureScan& scan, PrefixSource& prefix, FileSystem& fileSystem,
                            const RenameOptions& options) {
    RenameOutcome outcome;
    outcome.oldPath = scan.folder + scan.fileName;
    NewName newName;
    if (!decide(scan, prefix, fileSystem, options, outcome, newName)) {
        return outcome;
    }
    const std::string& target = newName.folder();
    const int tries = options.counter ? kCounterLimit : 1;
    for (int n = 1; n <= tries; ++n) {
        outcome.newPath = newName.path(n);
        if (options.placement == Placement::copy && fileSystem.exists(outcome.newPath) &&
            sameContent(fileSystem, outcome.oldPath, outcome.newPath)) {
            outcome.kind = RenameKind::alreadyNamed; // copied by an earlier run
            return outcome;
        }
        std::vector<CompanionMove> companions;
        if (!companionsFor(scan, target, fileSystem, options, outcome, companions)) {
            if (n < tries) {
                continue;
            }
            return outcome;
        }
        std::vector<PreparedMove> steps;
        const MoveResult moved = place(fileSystem, options, outcome.oldPath, outcome.newPath,
                                       scan.identified ? &scan.identity : nullptr, steps);
        if (moved.status == MoveStatus::targetExists && n < tries) {
            continue;
        }
        outcome.kind = moved.status == MoveStatus::moved          ? RenameKind::renamed
                       : moved.status == MoveStatus::targetExists ? RenameKind::nameExists
                                                                  : RenameKind::renameRefused;
        outcome.systemMessage = moved.message;
        if (moved.status == MoveStatus::moved) {
            placeCompanions(scan.folder, target, companions, fileSystem, options, steps, outcome);
        }
        return outcome;
    }
    return outcome;
}

} // namespace shotstamp

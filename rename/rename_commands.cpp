#include "rename_commands.h"

#include "clock_shift.h"
#include "companions.h"
#include "date_stamp.h"
#include "late_exif.h"
#include "metadata/picture_reader.h"
#include "move_step.h"
#include "read_ahead.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace shotstamp {

namespace {

// Reads the file for the picture reader and remembers whether it started like a JPEG (FF D8),
// so that a file that is no JPEG can be told from a JPEG without EXIF without a second read.
class HeadRecordingSource final : public ByteSource {
public:
    explicit HeadRecordingSource(std::FILE* file) : inner_(file) {}

    int readByte() override {
        const int byte = inner_.readByte();
        note(byte);
        return byte;
    }
    std::size_t readBlock(std::uint8_t* out, std::size_t count) override {
        const std::size_t got = inner_.readBlock(out, count);
        for (std::size_t i = 0; i < got && seen_ < 2; ++i) {
            note(out[i]);
        }
        return got;
    }
    bool startsLikeJpeg() const { return seen_ == 2 && head_[0] == 0xFF && head_[1] == 0xD8; }

private:
    void note(int byte) {
        if (seen_ < 2 && byte >= 0) {
            head_[seen_++] = byte;
        }
    }

    FileByteSource inner_;
    int head_[2] = {0, 0};
    int seen_ = 0;
};

// The tries of --counter: the name itself, then "-2" up to this.
constexpr int kCounterLimit = 9999;

std::string fieldText(const char* field, std::size_t size) {
    const void* end = std::memchr(field, 0, size);
    return std::string(field, end != nullptr ? static_cast<const char*>(end) - field : size);
}

// The sub-second digits as the camera wrote them, without the spaces some pad them with; empty
// unless what is left is all digits.
std::string subsecondDigits(const PictureRecord& record) {
    std::string digits = fieldText(record.subSecTimeOriginal, sizeof record.subSecTimeOriginal);
    while (!digits.empty() && digits.back() == ' ') {
        digits.pop_back();
    }
    digits.erase(0, std::min(digits.find_first_not_of(' '), digits.size()));
    const bool allDigits =
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    return allDigits ? digits : std::string();
}

// A move that puts a file back where it was. Journaled while the journal can be written; when it
// cannot, the file goes back all the same: its old name needs no way back.
MoveResult moveBack(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                    const std::string& to) {
    return moveFile(fileSystem, journal != nullptr && journal->halted() ? nullptr : journal, from,
                    to);
}

// Moves a renamed picture's companions after it. All or nothing: when one cannot move, those
// already moved and the picture itself go back, and the outcome says why the picture was kept;
// when one of them cannot go back either, the outcome names every file left out of place.
void moveCompanions(const std::string& folder, const std::vector<CompanionMove>& companions,
                    FileSystem& fileSystem, const RenameOptions& options, RenameOutcome& outcome) {
    std::size_t done = 0;
    MoveResult failure;
    for (; done < companions.size(); ++done) {
        const CompanionMove& c = companions[done];
        if (c.from == c.to) {
            continue;
        }
        failure = moveFile(fileSystem, options.journal, folder + c.from, folder + c.to);
        if (failure.status != MoveStatus::moved) {
            break;
        }
    }
    if (done == companions.size()) {
        for (const CompanionMove& c : companions) {
            options.companions->noteMove(folder, c.from, c.to);
            outcome.companions.emplace_back(folder + c.from, folder + c.to);
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
        if (companions[i].from != companions[i].to) {
            back.emplace_back(folder + companions[i].to, folder + companions[i].from);
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

// Takes down the steps of one picture as a plan: what the renaming of it on a file system that
// only pretends would do (folders made, moves, copies), so that they can be journaled with
// others before any is made.
class PlanRecorder final : public MoveJournal {
public:
    struct Move {
        StepKind kind = StepKind::move;
        std::string from;
        std::string to;
        bool identified = false;
        FileIdentity identity;
        bool moved = false;
    };

    std::size_t note(const std::string& from, const std::string& to,
                     const FileIdentity* identity) override {
        return add(StepKind::move, from, to, identity);
    }
    std::size_t noteFolder(const std::string& folder) override {
        return add(StepKind::folder, {}, folder, nullptr);
    }
    std::size_t noteCopy(const CopyNote& copy) override {
        return add(StepKind::copy, copy.from, copy.to, copy.identity);
    }
    bool commit() override { return true; }
    void result(std::size_t move, bool moved) override { moves[move - 1].moved = moved; }
    bool halted() const override { return false; }
    std::string problem() const override { return {}; }
    void tidyAfterKilledRuns() override {}

    std::vector<Move> moves;

private:
    std::size_t add(StepKind kind, const std::string& from, const std::string& to,
                    const FileIdentity* identity) {
        moves.push_back({kind, from, to, identity != nullptr,
                         identity != nullptr ? *identity : FileIdentity{}});
        return moves.size();
    }
};

// The steps of one picture, planned, then journaled in one piece with those of its batch.
struct PicturePlan {
    RenameOutcome outcome;
    // True when a step was tried and did not give the renamed outcome: the picture is then
    // renamed on its own, at its turn, as it would be without a plan.
    bool onItsOwn = false;
    std::vector<PlanRecorder::Move> moves; // the steps that succeeded, in order
    std::vector<PreparedMove> prepared;
};

// Tells the companion index that a plan's companion moves were, or were not, made after all.
void noteCompanions(const PicturePlan& plan, const std::string& folder, CompanionIndex* index,
                    bool made) {
    if (index == nullptr || plan.outcome.kind != RenameKind::renamed) {
        return;
    }
    for (const auto& [from, to] : plan.outcome.companions) {
        const std::string oldName = from.substr(folder.size());
        const std::string newName = to.substr(folder.size());
        index->noteMove(folder, made ? oldName : newName, made ? newName : oldName);
    }
}

// The largest batch of pictures whose moves are journaled with one write and one sync. Larger
// batches sync less but visit each file twice far apart (plan, then move): at 10,000 pictures
// 512 came out cheaper than 4096.
constexpr std::size_t kLargestBatch = 512;

} // namespace

const char* reasonText(RenameKind kind) {
    switch (kind) {
    case RenameKind::renamed:
        return "renamed";
    case RenameKind::cannotOpen:
        return "cannot open";
    case RenameKind::notJpeg:
        return "not a JPEG";
    case RenameKind::noExif:
        return "no EXIF block";
    case RenameKind::unreadableExif:
        return "unreadable EXIF block";
    case RenameKind::exifPastKeptSections:
        return "no EXIF block in the segments read";
    case RenameKind::noDate:
        return "no date taken";
    case RenameKind::unusableDate:
        return "unusable date";
    case RenameKind::alreadyNamed:
        return "already named";
    case RenameKind::nameExists:
        return "name exists";
    case RenameKind::renameRefused:
        return "rename refused";
    case RenameKind::partlyMoved:
        return "moved in part, could not be put back";
    }
    return "unknown";
}

PictureScan scanPicture(const std::string& folder, const std::string& fileName,
                        FileSystem& fileSystem) {
    PictureScan scan;
    scan.folder = folder;
    scan.fileName = fileName;
    FileHandle file = fileSystem.openForReading(folder + fileName, scan.systemMessage);
    if (!file) {
        return scan;
    }
    scan.opened = true;
    scan.identified = fileSystem.identifyOpenFile(file.get(), scan.identity);
    PictureReader reader;
    HeadRecordingSource source(file.get());
    reader.readSections(source);
    file.reset();
    scan.startsLikeJpeg = source.startsLikeJpeg();
    scan.exifSegmentFound = reader.exifSegmentCount() > 0;
    scan.sectionLimitReached = reader.sectionLimitReached();
    scan.readerMessage = reader.errorText();
    scan.record = reader.record();
    scan.record.thumbnailData = nullptr;
    return scan;
}

RenameOutcome renamePicture(const std::string& folder, const std::string& fileName,
                            PrefixSource& prefix, FileSystem& fileSystem) {
    return renameScanned(scanPicture(folder, fileName, fileSystem), prefix, fileSystem);
}

RenameOutcome renameScanned(const PictureScan& scan, PrefixSource& prefix, FileSystem& fileSystem,
                            const RenameOptions& options) {
    RenameOutcome outcome;
    outcome.oldPath = scan.folder + scan.fileName;
    if (!scan.opened) {
        outcome.kind = RenameKind::cannotOpen;
        outcome.systemMessage = scan.systemMessage;
        return outcome;
    }
    PictureRecord lateRecord{};
    const bool late =
        options.readPastSections && readExifPastSections(scan, fileSystem, lateRecord);
    const PictureRecord& record = late ? lateRecord : scan.record;
    if (!record.exifPresent) {
        if (!scan.startsLikeJpeg) {
            outcome.kind = RenameKind::notJpeg;
        } else if (scan.exifSegmentFound) {
            outcome.kind = RenameKind::unreadableExif;
            outcome.systemMessage = scan.readerMessage;
        } else if (scan.sectionLimitReached) {
            outcome.kind = RenameKind::exifPastKeptSections;
        } else {
            outcome.kind = RenameKind::noExif;
        }
        return outcome;
    }
    std::string date = fieldText(record.dateTimeOriginal, sizeof record.dateTimeOriginal);
    if (dateFieldHasGap({record.dateTimeOriginal, sizeof record.dateTimeOriginal})) {
        outcome.kind = RenameKind::unusableDate;
        return outcome;
    }
    if (options.shiftSeconds != 0 && !date.empty()) {
        std::string shifted;
        if (!shiftExifDateTime(date, options.shiftSeconds, shifted)) {
            outcome.kind = RenameKind::unusableDate;
            return outcome;
        }
        date = shifted;
    }

    std::string stamp = makeDateStamp(date);
    switch (judgeDate(date, stamp)) {
    case DateUse::missing:
        outcome.kind = RenameKind::noDate;
        return outcome;
    case DateUse::unusable:
        outcome.kind = RenameKind::unusableDate;
        return outcome;
    case DateUse::usable:
        break;
    }
    if (options.subseconds && isExifDateTime(date)) {
        if (const std::string digits = subsecondDigits(record); !digits.empty()) {
            stamp += "." + digits;
        }
    }

    // The prefix is read now, for this picture: the user may have changed it meanwhile.
    const std::string base = scan.folder + prefix.currentPrefix() + stamp;
    const int tries = options.counter ? kCounterLimit : 1;
    if (options.counter &&
        carriesStampedName(scan.fileName, base.substr(scan.folder.size()), tries)) {
        outcome.newPath = outcome.oldPath;
        outcome.kind = RenameKind::alreadyNamed;
        return outcome;
    }
    for (int n = 1; n <= tries; ++n) {
        outcome.newPath = n == 1 ? base + ".jpg" : base + "-" + std::to_string(n) + ".jpg";
        if (outcome.newPath == outcome.oldPath) {
            outcome.kind = RenameKind::alreadyNamed;
            return outcome;
        }
        std::vector<CompanionMove> companions;
        if (options.companions != nullptr) {
            companions = options.companions->companionsOf(
                scan.folder, scan.fileName, outcome.newPath.substr(scan.folder.size()));
            const auto taken = std::find_if(companions.begin(), companions.end(), [&](auto& c) {
                return c.from != c.to && fileSystem.exists(scan.folder + c.to);
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
            moveCompanions(scan.folder, companions, fileSystem, options, outcome);
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

RenameCommands::RenameCommands(EntryListFactory makeEntryList, PrefixSource& prefix,
                               std::function<void()> closeWindow, RenameObserver* observer,
                               FileSystem* fileSystem)
    : makeEntryList_(std::move(makeEntryList)), prefix_(prefix),
      closeWindow_(std::move(closeWindow)), observer_(observer),
      fileSystem_(fileSystem != nullptr ? fileSystem : &realFileSystem()) {}

RenameOutcome RenameCommands::handle(const PictureScan& scan) {
    RenameOutcome outcome = renameScanned(scan, prefix_, *fileSystem_, options_);
    if (outcome.kind == RenameKind::renameRefused && outcome.systemMessage == kChangedFile) {
        // Another file has its name now: that file is read and decided on, once.
        outcome = renameScanned(scanPicture(scan.folder, scan.fileName, *fileSystem_), prefix_,
                                *fileSystem_, options_);
    }
    if (observer_ != nullptr) {
        observer_->onOutcome(outcome);
    }
    return outcome;
}

std::size_t RenameCommands::handleBatch(std::span<const PictureScan> batch) {
    MoveJournal& journal = *options_.journal;
    // Plan: every picture decided on a file system that only pretends, so that names taken
    // within the batch count.
    std::vector<PicturePlan> plans(batch.size());
    {
        DryRunFileSystem pretend(*fileSystem_);
        PlanRecorder recorder;
        RenameOptions planning = options_;
        planning.journal = &recorder;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            recorder.moves.clear();
            plans[i].outcome = renameScanned(batch[i], prefix_, pretend, planning);
            plans[i].onItsOwn =
                plans[i].outcome.kind != RenameKind::renamed && !recorder.moves.empty();
            for (PlanRecorder::Move& move : recorder.moves) {
                if (move.moved && plans[i].outcome.kind == RenameKind::renamed) {
                    plans[i].moves.push_back(std::move(move));
                }
            }
        }
    }
    // Journal: all planned moves in one write and one sync.
    for (PicturePlan& plan : plans) {
        for (const PlanRecorder::Move& move : plan.moves) {
            PreparedMove prepared;
            MoveResult refusal;
            // What the plan found the file to be; the check right before the step still asks.
            if (!prepareStep(*fileSystem_, &journal, move.kind, move.from, move.to,
                             move.identified ? &move.identity : nullptr, prepared, refusal, true)) {
                plan.onItsOwn = true;
                break;
            }
            plan.prepared.push_back(std::move(prepared));
        }
    }
    if (!journal.commit()) {
        RenameOutcome stopped;
        stopped.kind = RenameKind::renameRefused;
        stopped.oldPath = batch.front().folder + batch.front().fileName;
        stopped.systemMessage =
            "not moved: the journal cannot be written (" + journal.problem() + ")";
        if (observer_ != nullptr) {
            observer_->onOutcome(stopped);
        }
        return batch.size();
    }
    // Move, in order. A picture whose moves do not go as planned is put back and renamed on its
    // own; the pictures after it are left to be planned afresh.
    const auto abandonFrom = [&](std::size_t first) {
        for (std::size_t j = plans.size(); j-- > first;) {
            for (const PreparedMove& move : plans[j].prepared) {
                journal.result(move.number, false);
            }
            plans[j].prepared.clear();
            noteCompanions(plans[j], batch[j].folder, options_.companions, false);
        }
    };
    for (std::size_t i = 0; i < plans.size(); ++i) {
        PicturePlan& plan = plans[i];
        bool asPlanned = !plan.onItsOwn;
        std::size_t made = 0;
        std::vector<bool> ours(plan.prepared.size(), true); // folders another program made: false
        for (; asPlanned && made < plan.prepared.size(); ++made) {
            const MoveResult result = makeStep(*fileSystem_, &journal, plan.prepared[made]);
            asPlanned = result.status == MoveStatus::moved;
            ours[made] = result.message.empty();
        }
        if (asPlanned) {
            if (observer_ != nullptr) {
                observer_->onOutcome(plan.outcome);
            }
            continue;
        }
        // Those made went before the one that failed; they go back, last first.
        for (std::size_t k = made > 0 ? made - 1 : 0; k-- > 0;) {
            if (ours[k]) {
                takeBack(*fileSystem_, &journal, plan.prepared[k]);
            }
        }
        for (std::size_t k = made; k < plan.prepared.size(); ++k) {
            journal.result(plan.prepared[k].number, false);
        }
        plan.prepared.clear();
        noteCompanions(plan, batch[i].folder, options_.companions, false);
        const RenameOutcome outcome = handle(batch[i]);
        if (journal.halted()) {
            return batch.size();
        }
        if (made == 0 && outcome.kind == plan.outcome.kind &&
            outcome.newPath == plan.outcome.newPath) {
            continue; // what the plan foresaw (a name taken): the plans after it still hold
        }
        abandonFrom(i + 1);
        return i + 1;
    }
    return batch.size();
}

void RenameCommands::handleBatches(std::span<const PictureScan> batch) {
    for (std::size_t done = 0; done < batch.size() && !options_.journal->halted();) {
        done += handleBatch(batch.subspan(done));
    }
}

void RenameCommands::renameAll(ReadAheadSource source) {
    if (options_.journal != nullptr) {
        // An empty claim or a temporary copy left by a killed run must not take a name now.
        options_.journal->tidyAfterKilledRuns();
    }
    ReadAhead pictures(std::move(source), *fileSystem_, jobs_);
    if (options_.journal == nullptr) {
        for (PictureScan scan; pictures.next(scan);) {
            handle(scan);
        }
        return;
    }
    // With a journal the moves go in batches, each journaled in one piece before it is made:
    // 1, 4, 16, ... pictures, so that a small run is done at once and a large one syncs seldom.
    std::vector<PictureScan> batch;
    std::size_t size = 1;
    for (PictureScan scan; !options_.journal->halted() && pictures.next(scan);) {
        batch.push_back(std::move(scan));
        if (batch.size() == size) {
            handleBatches(batch);
            batch.clear();
            size = std::min(size * 4, kLargestBatch);
        }
    }
    handleBatches(batch);
}

void RenameCommands::renameMarked() {
    if (!markedList_ && makeEntryList_) {
        markedList_ = makeEntryList_();
    }
    renameAll([this](std::string& folder, std::string& fileName) {
        return markedList_ && markedList_->takeNext(folder, fileName);
    });
    if (closeWindow_) {
        closeWindow_();
    }
}

void RenameCommands::renameAllInPath() {
    if (!allInPathList_ && makeEntryList_) {
        allInPathList_ = makeEntryList_();
    }
    std::string folder;
    std::string fileName;
    if (allInPathList_ && allInPathList_->firstEntry(folder, fileName)) {
        // The first entry gives the folder and nothing else; the rest of the list is ignored.
        if (auto walk = fileSystem_->enumerateJpegs(folder)) {
            renameAll([&walk, &folder](std::string& pictureFolder, std::string& pictureName) {
                pictureFolder = folder;
                return walk->next(pictureName);
            });
        }
    }
    if (closeWindow_) {
        closeWindow_();
    }
}

} // namespace shotstamp

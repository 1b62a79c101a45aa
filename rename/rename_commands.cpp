#include "rename_commands.h"

#include "companions.h"
#include "move_step.h"
#include "read_ahead.h"

#include <algorithm>
#include <span>

namespace shotstamp {

namespace {

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
    void noteHash(std::size_t, std::uint64_t, std::uint64_t) override {}
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
        if (made) {
            index->noteMove(folder, oldName, to.substr(folder.size()));
        } else {
            index->restore(folder, oldName);
        }
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
    case RenameKind::unknownContent:
        return "not a picture or video of a kind it reads";
    case RenameKind::companionOfPicture:
        return "goes with another picture";
    }
    return "unknown";
}

namespace {

// Two bits of a path in the filter, both in one block of eight words so that a look-up costs
// one cache line: the block from the library's hash (several bytes a step; the filter lives only
// as long as the run), the bits from that hash mixed again, which also serves a 32-bit build.
struct FilterBits {
    std::size_t word[2];
    std::uint64_t mask[2];
};
FilterBits filterBits(const std::string& path, std::size_t words) {
    const std::uint64_t hash = std::hash<std::string_view>{}(path);
    const std::uint64_t mixed = (hash + 1) * 0x9E3779B97F4A7C15ull;
    const std::size_t block = static_cast<std::size_t>(hash % (words / 8)) * 8;
    return {{block + static_cast<std::size_t>(mixed >> 61),
             block + static_cast<std::size_t>(mixed >> 52 & 7)},
            {std::uint64_t{1} << (mixed >> 55 & 63), std::uint64_t{1} << (mixed >> 46 & 63)}};
}

} // namespace

void RenameCommands::GivenNames::add(const std::string& path) {
    if (bits_.empty()) {
        bits_.resize(kBits / 64);
    }
    const FilterBits at = filterBits(path, bits_.size());
    bits_[at.word[0]] |= at.mask[0];
    bits_[at.word[1]] |= at.mask[1];
}

bool RenameCommands::GivenNames::mayHave(const std::string& path) const {
    if (bits_.empty()) {
        return false;
    }
    const FilterBits at = filterBits(path, bits_.size());
    return (bits_[at.word[0]] & at.mask[0]) != 0 && (bits_[at.word[1]] & at.mask[1]) != 0;
}

void RenameCommands::noteGiven(const RenameOutcome& outcome) {
    if (outcome.kind == RenameKind::renamed) {
        given_.add(outcome.newPath);
        given_.add(outcome.oldPath);
        for (const auto& [from, to] : outcome.companions) {
            given_.add(to);
            given_.add(from);
        }
    }
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
        outcome =
            renameScanned(scanPicture(scan.folder, scan.fileName, *fileSystem_, options_.scan),
                          prefix_, *fileSystem_, options_);
    }
    noteGiven(outcome);
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
        if (listed_ != nullptr) {
            // A new name that the folder's listing did not have and that this run has not given
            // needs no query; should another program have taken it since, the move is refused
            // and the picture handled alone.
            pretend.knowMissingBy([this](const std::string& path) {
                return !given_.mayHave(path) && listed_->listedWithout(path);
            });
        }
        pretend.expectPaths(batch.size() * 2); // where each picture is, and its new name
        for (const PictureScan& scan : batch) {
            if (scan.opened) {
                pretend.knowExists(scan.folder + scan.fileName);
            }
        }
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
                             move.identified ? &move.identity : nullptr, prepared, refusal, true,
                             true)) {
                plan.onItsOwn = true;
                break;
            }
            plan.prepared.push_back(std::move(prepared));
        }
    }
    // The run stops when the journal cannot be written: nothing of the batch is moved or named.
    const auto stopBatch = [&](const char* what) {
        RenameOutcome stopped;
        stopped.kind = RenameKind::renameRefused;
        stopped.oldPath = batch.front().folder + batch.front().fileName;
        stopped.systemMessage = what;
        stopped.systemMessage += ": the journal cannot be written (" + journal.problem() + ")";
        if (observer_ != nullptr) {
            observer_->onOutcome(stopped);
        }
        return batch.size();
    };
    if (!journal.commit()) {
        return stopBatch("not moved");
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
    // Copies: all of the batch are written and checked, their flushes and read-backs overlapped,
    // before any takes its name; then their hash lines are made durable with one sync, and only
    // then do they take their names, picture by picture. So a copy line is durable before its
    // temporary file is made (a killed run's is found and removed), and the hash that undo
    // trusts is durable before the name is taken (undo never deletes a file of another under a
    // name the run did not reach). Folders are made as the pictures come.
    const bool copying = std::any_of(plans.begin(), plans.end(), [](const PicturePlan& plan) {
        return std::any_of(plan.prepared.begin(), plan.prepared.end(),
                           [](const PreparedMove& step) { return step.kind == StepKind::copy; });
    });
    std::vector<std::vector<MoveResult>> outcomes(copying ? plans.size() : 0);
    std::vector<std::vector<CopyResult>> checked(copying ? plans.size() : 0);
    // Makes the folders and starts the copies; false when the hash lines cannot be made durable.
    const auto startCopies = [&] {
        const std::unique_ptr<CheckedCopies> copies = fileSystem_->checkedCopies();
        std::vector<CheckedCopies::Finished> finished;
        std::vector<std::pair<std::size_t, std::size_t>> started; // picture, step
        for (std::size_t i = 0; i < plans.size(); ++i) {
            if (plans[i].onItsOwn) {
                continue;
            }
            const std::vector<PreparedMove>& steps = plans[i].prepared;
            outcomes[i].resize(steps.size());
            checked[i].resize(steps.size());
            for (std::size_t k = 0; k < steps.size(); ++k) {
                if (steps[k].kind != StepKind::copy) {
                    outcomes[i][k] = makeStep(*fileSystem_, &journal, steps[k]);
                } else if (startCopyStep(*fileSystem_, &journal, steps[k], *copies, finished)) {
                    outcomes[i][k] = {MoveStatus::moved, {}};
                    started.emplace_back(i, k);
                } else {
                    outcomes[i][k] = {MoveStatus::failed, kChangedFile};
                    checked[i][k] = {CopyStatus::failed, kChangedFile};
                }
                if (outcomes[i][k].status != MoveStatus::moved) {
                    break;
                }
            }
        }
        copies->finishAll(finished);
        for (std::size_t j = 0; j < started.size() && j < finished.size(); ++j) {
            const auto [i, k] = started[j];
            checked[i][k] = finished[j].result;
            if (finished[j].result.status == CopyStatus::copied) {
                journal.noteHash(plans[i].prepared[k].number, finished[j].result.bytes,
                                 finished[j].hash);
            }
        }
        if (journal.commit()) {
            return true;
        }
        // Nothing takes its name: the copies go, and the folders made for them, last first.
        for (std::size_t i = plans.size(); i-- > 0;) {
            for (std::size_t k = outcomes[i].size(); k-- > 0;) {
                const PreparedMove& step = plans[i].prepared[k];
                if (step.kind == StepKind::copy && checked[i][k].status == CopyStatus::copied) {
                    fileSystem_->removeFile(step.temporary);
                } else if (step.kind == StepKind::folder &&
                           outcomes[i][k].status == MoveStatus::moved &&
                           outcomes[i][k].message.empty()) {
                    takeBack(*fileSystem_, &journal, step);
                }
            }
        }
        return false;
    };
    if (copying && !startCopies()) {
        return stopBatch("not copied");
    }
    const auto dropCopies = [&](std::size_t picture, std::size_t from) {
        const std::vector<PreparedMove>& steps = plans[picture].prepared;
        for (std::size_t k = from; k < steps.size() && k < checked[picture].size(); ++k) {
            if (steps[k].kind == StepKind::copy &&
                checked[picture][k].status == CopyStatus::copied) {
                fileSystem_->removeFile(steps[k].temporary);
            }
        }
    };
    for (std::size_t i = 0; i < plans.size(); ++i) {
        PicturePlan& plan = plans[i];
        bool asPlanned = !plan.onItsOwn;
        std::size_t made = 0;
        std::vector<bool> ours(plan.prepared.size(), true); // folders another program made: false
        for (; asPlanned && made < plan.prepared.size(); ++made) {
            const PreparedMove& step = plan.prepared[made];
            const MoveResult result =
                !copying ? makeStep(*fileSystem_, &journal, step)
                : step.kind == StepKind::copy && made < checked[i].size()
                    ? nameCopyStep(*fileSystem_, &journal, step, checked[i][made])
                    : outcomes[i][made];
            asPlanned = result.status == MoveStatus::moved;
            ours[made] = result.message.empty();
        }
        if (copying && !asPlanned) {
            // Its steps after the one that failed: copies never named, folders deleted again.
            dropCopies(i, made);
            for (std::size_t k = outcomes[i].size(); k-- > made;) {
                if (plan.prepared[k].kind == StepKind::folder &&
                    outcomes[i][k].status == MoveStatus::moved && outcomes[i][k].message.empty()) {
                    takeBack(*fileSystem_, &journal, plan.prepared[k]);
                }
            }
        }
        if (asPlanned) {
            noteGiven(plan.outcome);
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
        if (copying) {
            // What was started for the pictures after it goes: copies never named, folders
            // deleted again, last first.
            for (std::size_t j = plans.size(); j-- > i + 1;) {
                dropCopies(j, 0);
                for (std::size_t k = outcomes[j].size(); k-- > 0;) {
                    if (plans[j].prepared[k].kind == StepKind::folder &&
                        outcomes[j][k].status == MoveStatus::moved &&
                        outcomes[j][k].message.empty()) {
                        takeBack(*fileSystem_, &journal, plans[j].prepared[k]);
                    }
                }
            }
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
    pictures.scanWith(options_.scan);
    pictures.takenAtOnce(options_.journal != nullptr ? kLargestBatch : 1);
    pictures.recheckWhen([this](const std::string& path) { return given_.mayHave(path); });
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
    listed_ = markedList_.get();
    renameAll([this](std::string& folder, std::string& fileName) {
        return markedList_ && markedList_->takeNext(folder, fileName);
    });
    listed_ = nullptr;
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

#include "rename_commands.h"

#include "clock_shift.h"
#include "companions.h"
#include "date_stamp.h"
#include "late_exif.h"
#include "metadata/picture_reader.h"
#include "read_ahead.h"

#include <algorithm>
#include <cstring>

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

MoveResult journaledMove(FileSystem& fileSystem, MoveJournal* journal, const std::string& from,
                         const std::string& to) {
    if (journal != nullptr) {
        journal->beforeMove(from, to);
    }
    MoveResult result = fileSystem.moveNoReplace(from, to);
    if (journal != nullptr) {
        journal->afterMove(result.status == MoveStatus::moved);
    }
    return result;
}

// Moves a renamed picture's companions after it. All or nothing: when one cannot move, those
// already moved and the picture itself go back, and the outcome says why the picture was kept.
void moveCompanions(const std::string& folder, const std::vector<CompanionMove>& companions,
                    FileSystem& fileSystem, const RenameOptions& options, RenameOutcome& outcome) {
    std::size_t done = 0;
    MoveResult failure;
    for (; done < companions.size(); ++done) {
        const CompanionMove& c = companions[done];
        if (c.from == c.to) {
            continue;
        }
        failure = journaledMove(fileSystem, options.journal, folder + c.from, folder + c.to);
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
        if (journaledMove(fileSystem, options.journal, from, to).status != MoveStatus::moved) {
            outcome.kind = RenameKind::renameRefused;
            outcome.systemMessage += "; could not move " + from + " back to " + to;
        }
    }
}

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
            journaledMove(fileSystem, options.journal, outcome.oldPath, outcome.newPath);
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

void RenameCommands::handle(const PictureScan& scan) {
    const RenameOutcome outcome = renameScanned(scan, prefix_, *fileSystem_, options_);
    if (observer_ != nullptr) {
        observer_->onOutcome(outcome);
    }
}

void RenameCommands::renameMarked() {
    if (!markedList_ && makeEntryList_) {
        markedList_ = makeEntryList_();
    }
    {
        ReadAhead pictures(
            [this](std::string& folder, std::string& fileName) {
                return markedList_ && markedList_->takeNext(folder, fileName);
            },
            *fileSystem_, jobs_);
        for (PictureScan scan; pictures.next(scan);) {
            handle(scan);
        }
    }
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
            ReadAhead pictures(
                [&walk, &folder](std::string& pictureFolder, std::string& pictureName) {
                    pictureFolder = folder;
                    return walk->next(pictureName);
                },
                *fileSystem_, jobs_);
            for (PictureScan scan; pictures.next(scan);) {
                handle(scan);
            }
        }
    }
    if (closeWindow_) {
        closeWindow_();
    }
}

} // namespace shotstamp

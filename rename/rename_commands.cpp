#include "rename_commands.h"

#include "date_stamp.h"
#include "metadata/picture_reader.h"

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
    scan.record = reader.record();
    scan.record.thumbnailData = nullptr;
    return scan;
}

RenameOutcome renamePicture(const std::string& folder, const std::string& fileName,
                            PrefixSource& prefix, FileSystem& fileSystem) {
    return renameScanned(scanPicture(folder, fileName, fileSystem), prefix, fileSystem);
}

RenameOutcome renameScanned(const PictureScan& scan, PrefixSource& prefix, FileSystem& fileSystem) {
    RenameOutcome outcome;
    outcome.oldPath = scan.folder + scan.fileName;
    if (!scan.opened) {
        outcome.kind = RenameKind::cannotOpen;
        outcome.systemMessage = scan.systemMessage;
        return outcome;
    }
    const PictureRecord& record = scan.record;
    if (!record.exifPresent) {
        outcome.kind = scan.startsLikeJpeg ? RenameKind::noExif : RenameKind::notJpeg;
        return outcome;
    }
    const void* end = std::memchr(record.dateTimeOriginal, 0, sizeof record.dateTimeOriginal);
    const std::string date(record.dateTimeOriginal,
                           end != nullptr ? static_cast<const char*>(end) - record.dateTimeOriginal
                                          : sizeof record.dateTimeOriginal);

    const std::string stamp = makeDateStamp(date);
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

    // The prefix is read now, for this picture: the user may have changed it meanwhile.
    outcome.newPath = scan.folder + prefix.currentPrefix() + stamp + ".jpg";
    if (outcome.newPath == outcome.oldPath) {
        outcome.kind = RenameKind::alreadyNamed;
        return outcome;
    }
    const MoveResult moved = fileSystem.moveNoReplace(outcome.oldPath, outcome.newPath);
    switch (moved.status) {
    case MoveStatus::moved:
        outcome.kind = RenameKind::renamed;
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

RenameCommands::RenameCommands(EntryListFactory makeEntryList, PrefixSource& prefix,
                               std::function<void()> closeWindow, RenameObserver* observer,
                               FileSystem* fileSystem)
    : makeEntryList_(std::move(makeEntryList)), prefix_(prefix),
      closeWindow_(std::move(closeWindow)), observer_(observer),
      fileSystem_(fileSystem != nullptr ? fileSystem : &realFileSystem()) {}

void RenameCommands::handle(const std::string& folder, const std::string& fileName) {
    const RenameOutcome outcome = renamePicture(folder, fileName, prefix_, *fileSystem_);
    if (observer_ != nullptr) {
        observer_->onOutcome(outcome);
    }
}

void RenameCommands::renameMarked() {
    if (!markedList_ && makeEntryList_) {
        markedList_ = makeEntryList_();
    }
    std::string folder;
    std::string fileName;
    while (markedList_ && markedList_->takeNext(folder, fileName)) {
        handle(folder, fileName);
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
            while (walk->next(fileName)) {
                handle(folder, fileName);
            }
        }
    }
    if (closeWindow_) {
        closeWindow_();
    }
}

} // namespace shotstamp

#pragma once

#include "entry_list.h"
#include "file_system.h"
#include "metadata/picture_record.h"
#include "move_journal.h"
#include "rename_options.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace shotstamp {

// Where the name prefix comes from: the window's prefix field, read afresh for every picture.
class PrefixSource {
public:
    virtual ~PrefixSource() = default;
    virtual std::string currentPrefix() = 0;
};

// A prefix that never changes (the command-line tool, tests).
class FixedPrefix final : public PrefixSource {
public:
    explicit FixedPrefix(std::string text) : text_(std::move(text)) {}
    std::string currentPrefix() override { return text_; }

private:
    std::string text_;
};

enum class RenameKind {
    renamed,
    cannotOpen,    // the file could not be opened for reading (missing, a folder, denied)
    notJpeg,       // it does not start like a JPEG file
    noExif,        // a JPEG without an EXIF block
    noDate,        // EXIF without DateTimeOriginal
    unusableDate,  // a date with no digits, all zeros, or a character a file name cannot hold
    alreadyNamed,  // the file already carries its new name
    nameExists,    // another file has the new name; nothing is replaced
    renameRefused, // the system refused the rename
    // An EXIF block is there but could not be read; the reader's message says why.
    unreadableExif,
    // The reader kept as many segments as it keeps before it met an EXIF block.
    exifPastKeptSections,
    // A companion could not move and not all of the group could be moved back: the picture and
    // some companions may carry new names; the message names each file left out of place.
    partlyMoved,
};

// What happened to one file. The window ignores it; the command-line tool prints it.
struct RenameOutcome {
    RenameKind kind = RenameKind::cannotOpen;
    std::string oldPath;
    std::string newPath;       // set whenever a new name was composed
    std::string systemMessage; // the system's text for cannotOpen and renameRefused
    // (for unreadableExif it holds the reader's message instead)
    std::vector<std::pair<std::string, std::string>> companions; // moved with it: old, new path
};

// A short plain reason for a kept picture ("name exists"); "renamed" for a renamed one.
const char* reasonText(RenameKind kind);

class RenameObserver {
public:
    virtual ~RenameObserver() = default;
    virtual void onOutcome(const RenameOutcome& outcome) = 0;
};

// What reading one picture's header found. Reading needs no prefix and changes nothing on disk,
// so it can happen ahead of the renaming; the decision and the move come later, in order.
struct PictureScan {
    std::string folder;
    std::string fileName;
    bool opened = false;
    std::string systemMessage; // why it could not be opened
    bool startsLikeJpeg = false;
    bool exifSegmentFound = false;    // an Exif segment was there, readable or not
    bool sectionLimitReached = false; // the reader stopped at the most sections it keeps
    std::string readerMessage;        // the reader's last message
    PictureRecord record{};  // thumbnailData is cleared: it would point into the finished reader
    bool identified = false; // which file was read, so that no other one is moved in its place
    FileIdentity identity;
};

// Opens and reads one picture's header segments; the file is closed again before it returns.
PictureScan scanPicture(const std::string& folder, const std::string& fileName,
                        FileSystem& fileSystem);

// Decides on a scanned picture and renames it, reading the prefix only now.
RenameOutcome renameScanned(const PictureScan& scan, PrefixSource& prefix, FileSystem& fileSystem,
                            const RenameOptions& options = {});

// Renames one picture in its own folder to prefix + date stamp + ".jpg" when its EXIF block holds
// a usable DateTimeOriginal. Never writes the picture and never replaces an existing file.
RenameOutcome renamePicture(const std::string& folder, const std::string& fileName,
                            PrefixSource& prefix, FileSystem& fileSystem);

// The two rename commands of the main window. Each command makes its own entry list the first
// time it runs and keeps it; both end by calling closeWindow (the dialog's OK handling), also
// when nothing was renamed.
class RenameCommands {
public:
    using ReadAheadSource = std::function<bool(std::string& folder, std::string& fileName)>;
    using EntryListFactory = std::function<std::unique_ptr<EntryList>()>;

    // fileSystem null means the real one; observer may be null.
    RenameCommands(EntryListFactory makeEntryList, PrefixSource& prefix,
                   std::function<void()> closeWindow, RenameObserver* observer = nullptr,
                   FileSystem* fileSystem = nullptr);

    // How many threads read the next pictures' headers while one is renamed: 1 reads each picture
    // at its turn; 0 (the default) leaves the choice to the program. Renames stay in order on the
    // calling thread either way, with the same outcomes.
    void setJobs(int jobs) { jobs_ = jobs; }

    // "Just marked": every entry, in order.
    void renameMarked();
    // "All in Path": every "*.jpg" of the first entry's folder.
    void renameAllInPath();

    // How each picture is renamed from now on; the defaults are the window's.
    void setOptions(const RenameOptions& options) { options_ = options; }

private:
    void renameAll(ReadAheadSource source);
    RenameOutcome handle(const PictureScan& scan);
    // Plans the moves of a batch, journals them in one piece, then makes them; returns how many
    // pictures it handled (fewer when one went otherwise than planned and the rest need a plan
    // of their own).
    std::size_t handleBatch(std::span<const PictureScan> batch);
    void handleBatches(std::span<const PictureScan> batch);

    EntryListFactory makeEntryList_;
    PrefixSource& prefix_;
    std::function<void()> closeWindow_;
    RenameObserver* observer_;
    FileSystem* fileSystem_;
    int jobs_ = 0;
    std::unique_ptr<EntryList> markedList_;
    std::unique_ptr<EntryList> allInPathList_;
    RenameOptions options_;
};

} // namespace shotstamp

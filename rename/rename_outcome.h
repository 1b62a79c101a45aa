#pragma once

#include <string>
#include <utility>
#include <vector>

namespace shotstamp {

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
    // The command-line tool's wider reading: a file whose content is of no kind it reads.
    unknownContent,
    // A file that goes with another picture of its folder (a RAW, a clip or a sidecar of the same
    // name) and moves with that one, never on its own.
    companionOfPicture,
};

// What happened to one file. The window ignores it; the command-line tool prints it.
struct RenameOutcome {
    RenameKind kind = RenameKind::cannotOpen;
    std::string oldPath;
    std::string newPath;       // set whenever a new name was composed
    std::string systemMessage; // the system's text for cannotOpen and renameRefused
    // (for unreadableExif it holds the reader's message instead)
    std::vector<std::pair<std::string, std::string>> companions; // moved with it: old, new path
    // Where the date came from ("DateTimeOriginal", "file name"); empty when none was found.
    std::string dateSource;
    // What the report adds: "day only, from the file name", "extension was .jpg, content is
    // HEIC", a warning that two dates disagree.
    std::vector<std::string> notes;
};

// A short plain reason for a kept picture ("name exists"); "renamed" for a renamed one.
const char* reasonText(RenameKind kind);

class RenameObserver {
public:
    virtual ~RenameObserver() = default;
    virtual void onOutcome(const RenameOutcome& outcome) = 0;
};

} // namespace shotstamp

#pragma once

#include "scan.h"

#include <cstdint>
#include <string>

namespace shotstamp {

class CompanionIndex;
class MoveJournal;
struct DatingRules;

// The folder an entry's folder was reached from: the folder operand of a walk.
class FolderRoots {
public:
    virtual ~FolderRoots() = default;
    virtual std::string rootOf(const std::string& folder) const = 0;
};
namespace naming {
class NameTemplate;
}

// How a file reaches its new name: moved, or copied with the source left as it is.
enum class Placement { move, copy };

// How one picture is renamed beyond the window's plain rule. The defaults are the window's.
struct RenameOptions {
    bool subseconds = false;               // ".NN" after the seconds, from SubSecTimeOriginal
    bool counter = false;                  // "-2", "-3", ... when the name is taken
    std::int64_t shiftSeconds = 0;         // added to DateTimeOriginal before the stamp is made
    CompanionIndex* companions = nullptr;  // non-null: same-stem files move with the picture
    MoveJournal* journal = nullptr;        // non-null: every move is recorded first
    Placement placement = Placement::move; // copy: the source stays, a checked copy is made
    // A picture whose reading stopped at the most segments the reader keeps, before any EXIF
    // block, is read again to look for one past them.
    bool readPastSections = false;

    // What is read of each file (every container, sidecars); the window reads JPEG headers.
    ScanSettings scan{};
    // Non-null: the date comes from the chain these rules set up, for files of every container
    // (the command-line tool); null: from a JPEG's DateTimeOriginal alone (the window).
    const DatingRules* dating = nullptr;
    // Non-null: the new file name is made by this template instead of prefix + date stamp.
    const naming::NameTemplate* format = nullptr;
    // Non-null: files go into the folder this template names, relative to the root `roots`
    // gives for the folder a file was found in (without roots: that folder itself).
    const naming::NameTemplate* into = nullptr;
    const FolderRoots* roots = nullptr;
};

} // namespace shotstamp

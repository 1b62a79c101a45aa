#pragma once

#include <cstdint>

namespace shotstamp {

class CompanionIndex;
class MoveJournal;

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
};

} // namespace shotstamp

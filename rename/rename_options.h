#pragma once

#include "scan.h"

#include <cstdint>
#include <functional>
#include <string>

namespace shotstamp {

class CompanionIndex;
class MoveJournal;
struct DatingRules;
namespace naming {
class NameTemplate;
}

// How one picture is renamed beyond the window's plain rule. The defaults are the window's.
struct RenameOptions {
    bool subseconds = false;              // ".NN" after the seconds, from SubSecTimeOriginal
    bool counter = false;                 // "-2", "-3", ... when the name is taken
    std::int64_t shiftSeconds = 0;        // added to DateTimeOriginal before the stamp is made
    CompanionIndex* companions = nullptr; // non-null: same-stem files move with the picture
    MoveJournal* journal = nullptr;       // non-null: every move is recorded first
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
    // Non-null: files go into the folder this template names, relative to `intoBase` of the
    // folder a file was found in (or the folder itself while intoBase is empty).
    const naming::NameTemplate* into = nullptr;
    std::function<std::string(const std::string& folder)> intoBase{};
};

} // namespace shotstamp

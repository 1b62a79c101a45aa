#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// File operations of the rename path: open for reading, a rename that never replaces, and the
// enumeration of a folder's "*.jpg" names.
namespace shotstamp::files {

enum class MoveStatus { moved, targetExists, failed };

struct MoveResult {
    MoveStatus status = MoveStatus::failed;
    std::string message; // the system's text when failed
};

// Opens a regular file (or a symlink to one) for binary reading. Folders, devices and pipes are
// refused, so reading can never block. Null with the system's text in `message` on failure.
std::FILE* openForReading(const std::string& path, std::string& message);

// Renames `from` to `to`. A file that exists under `to` before the call is never replaced.
MoveResult moveNoReplace(const std::string& from, const std::string& to);

// True when a directory entry of that name exists (a dangling symlink counts).
bool exists(const std::string& path);

// Which file an open stream reads, or a path leads to now (links followed): the volume and the
// file's number on it. Two equal identities are one file, whatever its names.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};
// False when the system cannot tell (for a path: also when nothing can be reached by it).
bool identifyOpenFile(std::FILE* file, FileIdentity& identity);
bool identifyPath(const std::string& path, FileIdentity& identity);

// The names of a folder that match "*.jpg" as Windows matches it: any name ending in ".jpg" in
// any letter case, folders included. `folder` is empty (the current directory) or ends in the
// path separator.
class Enumeration {
public:
    explicit Enumeration(const std::string& folder);
    ~Enumeration();
    Enumeration(const Enumeration&) = delete;
    Enumeration& operator=(const Enumeration&) = delete;

    // False when the folder could not be read or held no match.
    bool valid() const;
    // The next name; false after the last.
    bool next(std::string& fileName);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The separators of a path on this platform ("/" on POSIX; "\" and "/" on Windows).
bool isPathSeparator(char c);

// Whether a byte may stand in a file name on this platform (not a separator, not NUL; on
// Windows also not a control character nor any of < > : " | ? *).
bool nameByteAllowed(unsigned char byte);

// The full path of the running program's file; empty when the system cannot tell.
std::string runningProgramPath();

// True where the program receives its command line as one text to be searched for JPEG paths
// (Windows); false where it arrives split into arguments (POSIX).
bool commandLineIsOneText();

} // namespace shotstamp::files

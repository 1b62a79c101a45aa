#pragma once

#include "folder_listing.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// Renames `from` to `to`. A file that exists under `to` before the call is never replaced. A
// target on another file system fails with kOtherFileSystem as the message.
MoveResult moveNoReplace(const std::string& from, const std::string& to);

// True when a directory entry of that name exists (a dangling symlink counts).
bool exists(const std::string& path);

// Which file an open stream reads, or a path leads to now (links followed): the volume and the
// file's number on it, with its size and last write time as a second check. Two equal identities
// are one file, whatever its names, unchanged since the other was taken.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // in the system's own units
    bool operator==(const FileIdentity&) const = default;
};
// False when the system cannot tell (for a path: also when nothing can be reached by it).
bool identifyOpenFile(std::FILE* file, FileIdentity& identity);
bool identifyPath(const std::string& path, FileIdentity& identity);
// openForReading, with the identity of the file it opened (identified false when the system
// cannot tell); on Linux both come from the one status query the open needs anyway.
std::FILE* openIdentified(const std::string& path, std::string& message, FileIdentity& identity,
                          bool& identified);

// The names of a folder that end in ".jpg" in any letter case, folders included. (On Windows
// the "*.jpg" pattern also matches by 8.3 short names; those matches are dropped.) `folder` is
// empty (the current directory) or ends in the path separator.
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

// Whether the file system takes `path` as a name: its last part within the length the folder's
// file system allows for a name and the whole within the length allowed for a path. False with
// the system's text for a name that is too long in `message`, so that a dry run can say what
// the real rename would.
bool nameFits(const std::string& path, std::string& message);

// The separators of a path on this platform ("/" on POSIX; "\" and "/" on Windows).
bool isPathSeparator(char c);

// The separator the platform writes.
#ifdef _WIN32
inline constexpr char kPreferredSeparator = '\\';
#else
inline constexpr char kPreferredSeparator = '/';
#endif

// The folder part of a path: everything up to and including its last separator, empty for a
// bare name.
inline std::string folderOf(std::string_view path) {
    std::size_t cut = path.size();
    while (cut > 0 && !isPathSeparator(path[cut - 1])) {
        --cut;
    }
    return std::string(path.substr(0, cut));
}

// Whether a byte may stand in a file name on this platform (not a separator, not NUL; on
// Windows also not a control character nor any of < > : " | ? *).
bool nameByteAllowed(unsigned char byte);

// The full path of the running program's file; empty when the system cannot tell.
std::string runningProgramPath();

// True where the program receives its command line as one text to be searched for JPEG paths
// (Windows); false where it arrives split into arguments (POSIX).
bool commandLineIsOneText();

// Every name of a folder but "." and "..", with its kind (and its index where the listing keeps
// them and the system tells them without a query per file). `folder` is empty or ends in the
// path separator. False when the folder cannot be read.
bool listFolder(const std::string& folder, FolderListing& entries);

// What the path names, following a symbolic link; missing when nothing does.
EntryKind kindOf(const std::string& path);

// Two numbers that tell one folder from every other on this machine (device and inode; volume
// and file index), so that a walk can tell a folder it has seen under another name.
bool folderIdentity(const std::string& folder, std::uint64_t& volume, std::uint64_t& index);

// The path made absolute against the current directory; unchanged when it already is one.
std::string absolutePath(const std::string& path);

// The path with its last part spelt as the file system stores it (a case-insensitive file system
// finds "b.jpg" for "b.JPG"); unchanged when nothing is found or names keep their case anyway.
std::string nameOnDisk(const std::string& path);

// Creates a file that must not exist yet and opens it for binary writing; null with the system's
// text in `message` when it exists or cannot be made. While the stream is open the file counts as
// in use (see removeUnlessInUse).
std::FILE* createNew(const std::string& path, std::string& message);

// Writes all of `text` and hands it to the system; false with the system's text otherwise.
bool writeAll(std::FILE* file, std::string_view text, std::string& message);

// Waits until what was written to the stream is on the storage itself (its data, and the size
// needed to read it back).
bool syncData(std::FILE* file, std::string& message);

// Waits until the folder's entries (a file just made in it) are on the storage.
bool syncFolder(const std::string& folder, std::string& message);

// Deletes a file; false when it could not be deleted.
bool removeFile(const std::string& path);

// Makes one folder whose parent exists; false with the system's text in `message` when it
// cannot be made, also when the name exists already.
bool createFolder(const std::string& path, std::string& message);

// Deletes a folder only when it is empty; false otherwise.
bool removeEmptyFolder(const std::string& path);

// The message of a move that failed because the target lies on another file system.
inline constexpr const char* kOtherFileSystem = "the target is on another file system";

// Deletes a file unless a stream from createNew still has it open, in this or another process.
bool removeUnlessInUse(const std::string& path);

// True when the program's standard input is a terminal, where a person can answer a question.
bool standardInputIsTerminal();

enum class CopyStatus { copied, targetExists, failed };

struct CopyResult {
    CopyStatus status = CopyStatus::failed;
    std::string message;     // what went wrong, with the system's text, when failed
    std::uint64_t bytes = 0; // the size of the copy, when copied
};

// The temporary name a copy to `to` is first written under: a hidden name in the same folder
// that starts with ".shotstamp-copy-" and ends in ".part", unique within this process.
std::string temporaryCopyPath(const std::string& to);

// Copies `from` to `to` so that nothing but a complete, checked copy ever carries the name `to`:
// the bytes go to `temporary` (created exclusively, in the folder of `to`) through a bounded
// buffer, are flushed to the device, compared byte for byte with the source, and only then
// given the name `to` with moveNoReplace. The source is only ever opened for reading; the copy
// keeps its modification time. On any failure `temporary` is deleted again (unless it existed
// before, which is a failure of its own) and nothing is left under `to`.
CopyResult copyNoReplace(const std::string& from, const std::string& to,
                         const std::string& temporary);

struct FinishedCopy {
    std::string from;
    std::string to;
    CopyResult result;
};

// Shown the source's bytes in order as they are found equal to the copy's (so that a caller can
// take a hash of what was copied without reading it again); called on the queue's own thread.
using SeenBytes = std::function<void(const char* bytes, std::size_t count)>;

// Checked copies of many files, each with the guarantees of copyNoReplace, with their flushes
// overlapped: up to `depth` copies are written and on their way to the device while the oldest
// are synced and compared on a thread of the queue (where the system can start a flush early;
// elsewhere each copy is finished as soon as it is added). Copies finish in the order they were
// added. With `name` false a copy that passed its checks is left under its temporary name,
// closed, for the caller to name (status copied); otherwise it is named as copyNoReplace names
// it. A copy still in flight when the queue goes never gets its name; its temporary file is
// deleted.
class CopyQueue {
public:
    explicit CopyQueue(std::size_t depth = 16, bool name = true);
    ~CopyQueue();
    CopyQueue(const CopyQueue&) = delete;
    CopyQueue& operator=(const CopyQueue&) = delete;

    // Starts a copy; appends to `finished` whatever copies have finished meanwhile, waiting for
    // the oldest while `depth` are in flight.
    void add(const std::string& from, const std::string& to, const std::string& temporary,
             std::vector<FinishedCopy>& finished, SeenBytes seen = {});
    // Finishes every copy in flight, in order.
    void finishAll(std::vector<FinishedCopy>& finished);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The per-user folder where the program keeps its state (the journals of past runs), made with
// its parents when missing; ends in the path separator. Empty when it cannot be found or made.
std::string userStateFolder();

} // namespace shotstamp::files

#pragma once

#include "platform/files.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace shotstamp {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

using files::CopyResult;
using files::CopyStatus;
using files::FileIdentity;
using files::MoveResult;
using files::MoveStatus;

// Names of a folder that match "*.jpg", one at a time.
class NameEnumeration {
public:
    virtual ~NameEnumeration() = default;
    virtual bool next(std::string& fileName) = 0;
};

// Checked copies made one after another and finished in the order added, with their flushes
// overlapped (files::CopyQueue): each is written under its temporary name, synced and compared
// with its source, and left there, closed, for the caller to name with moveNoReplace. `hash` is
// the content hash (hashFile's) of the bytes found equal. Copies not handed over when it goes
// never get a name; their temporary files are deleted.
class CheckedCopies {
public:
    struct Finished {
        CopyResult result; // copied: checked, under its temporary name
        std::uint64_t hash = 0;
    };
    virtual ~CheckedCopies() = default;
    // Starts a copy; appends to `finished` those that had to be finished to make room.
    virtual void add(const std::string& from, const std::string& to, const std::string& temporary,
                     std::vector<Finished>& finished) = 0;
    virtual void finishAll(std::vector<Finished>& finished) = 0;
};

// The file operations the rename path needs, so that a dry run can stand in for the real ones.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Opens a regular file for binary reading; null with the system's text in `message`.
    virtual FileHandle openForReading(const std::string& path, std::string& message) = 0;
    // Renames, never replacing a file that exists.
    virtual MoveResult moveNoReplace(const std::string& from, const std::string& to) = 0;
    // The folder's names matching "*.jpg"; folder is empty (current directory) or ends in the
    // path separator. Null when the folder cannot be read.
    virtual std::unique_ptr<NameEnumeration> enumerateJpegs(const std::string& folder) = 0;
    // True when a directory entry of that name exists (a dangling symlink counts).
    virtual bool exists(const std::string& path) = 0;

    // For reading headers ahead of the renames. True only when openForReading and the two
    // identify calls may run on several threads at once while one more thread calls the rest; a
    // file system that says false is read on the command's own thread only.
    virtual bool readsConcurrently() const { return false; }
    // True for a file system that only pretends to move files: nothing can change under it
    // between two of its calls, so the move step's checks against other programs are left out.
    virtual bool pretends() const { return false; }
    // Which file an open handle reads, and which file a path leads to now; false when that
    // cannot be told, and then a header read earlier is read again rather than trusted.
    virtual bool identifyOpenFile(std::FILE*, FileIdentity&) { return false; }
    virtual bool identifyPath(const std::string&, FileIdentity&) { return false; }
    // What a path names (links followed), and which folder a folder path is, for the walk.
    virtual files::EntryKind kindOf(const std::string& path) { return files::kindOf(path); }
    virtual bool folderIdentity(const std::string& folder, std::uint64_t& volume,
                                std::uint64_t& index) {
        return files::folderIdentity(folder, volume, index);
    }
    // The file's last modification time in seconds since 1970 (UTC); none when it cannot be had.
    virtual std::optional<std::int64_t> modifiedSeconds(const std::string& path);
    // openForReading and identifyOpenFile in one: the identity of the file opened, with
    // `identified` false when it cannot be told. A file system that can tell both from one
    // query of the system (the real one on Linux) saves a call per picture.
    virtual FileHandle openIdentified(const std::string& path, std::string& message,
                                      FileIdentity& identity, bool& identified) {
        FileHandle file = openForReading(path, message);
        identified = file && identifyOpenFile(file.get(), identity);
        return file;
    }
    // Every name of a folder with its kind; false when the folder cannot be read.
    virtual bool listFolder(const std::string& folder, files::FolderListing& entries) {
        return files::listFolder(folder, entries);
    }

    // What the journal of a run needs: a file made only when it is new, text appended to it, a
    // wait until that text is on the storage, a wait until a new file's entry is, and deletion.
    // Each false (or null) result carries the system's text in `message`.
    virtual FileHandle createNew(const std::string& path, std::string& message) {
        return FileHandle(files::createNew(path, message));
    }
    virtual bool append(std::FILE* file, std::string_view text, std::string& message) {
        return files::writeAll(file, text, message);
    }
    virtual bool syncData(std::FILE* file, std::string& message) {
        return files::syncData(file, message);
    }
    virtual bool syncFolder(const std::string& folder, std::string& message) {
        return files::syncFolder(folder, message);
    }
    virtual bool removeFile(const std::string& path) { return files::removeFile(path); }
    // Deletes a file unless a run still writes it.
    virtual bool removeUnlessInUse(const std::string& path) {
        return files::removeUnlessInUse(path);
    }

    // What a move into another folder needs: a folder made (its parent exists; false when the
    // name exists), an empty folder deleted, and a checked copy (see files::copyNoReplace).
    virtual bool createFolder(const std::string& path, std::string& message) {
        return files::createFolder(path, message);
    }
    virtual bool removeFolder(const std::string& path) { return files::removeEmptyFolder(path); }
    virtual CopyResult copyNoReplace(const std::string& from, const std::string& to,
                                     const std::string& temporary) {
        return files::copyNoReplace(from, to, temporary);
    }
    // Many checked copies at once, named by the caller (the real ones: files::CopyQueue).
    virtual std::unique_ptr<CheckedCopies> checkedCopies();
};

// The platform's files.
FileSystem& realFileSystem();

// Reads through the real file system but renames nothing: it remembers the names a real run would
// have freed and taken, so collisions inside one batch show as they would.
class DryRunFileSystem final : public FileSystem {
public:
    explicit DryRunFileSystem(FileSystem& real) : real_(real) {}
    FileHandle openForReading(const std::string& path, std::string& message) override;
    MoveResult moveNoReplace(const std::string& from, const std::string& to) override;
    std::unique_ptr<NameEnumeration> enumerateJpegs(const std::string& folder) override;
    bool exists(const std::string& path) override;
    // Safe to read from several threads when the real one is: the remembered names are locked.
    bool readsConcurrently() const override { return real_.readsConcurrently(); }
    bool pretends() const override { return true; }
    // Tells that a path was a file a moment ago (it was just opened), so that the first move of
    // it asks the real file system nothing.
    void knowExists(const std::string& path);
    // Room for the answers of about `count` paths, so that a batch's plan never rehashes them.
    void expectPaths(std::size_t count) {
        realExists_.reserve(count);
        taken_.reserve(count / 2);
        freed_.reserve(count / 2);
    }
    // Asked before the real file system whether a path is missing: true spares the query.
    void knowMissingBy(std::function<bool(const std::string& path)> missing) {
        knownMissing_ = std::move(missing);
    }
    bool identifyOpenFile(std::FILE* file, FileIdentity& identity) override;
    bool identifyPath(const std::string& path, FileIdentity& identity) override;
    bool listFolder(const std::string& folder, files::FolderListing& entries) override;
    // Deletes nothing; the name counts as free from then on.
    bool removeFile(const std::string& path) override;
    bool removeUnlessInUse(const std::string& path) override { return removeFile(path); }
    // Makes nothing; the folder counts as there (and empty) from then on.
    bool createFolder(const std::string& path, std::string& message) override;
    // Deletes nothing; succeeds when the folder, as the steps so far would have left it, is empty.
    bool removeFolder(const std::string& path) override;
    // Copies nothing; the name counts as taken by a file with the source's bytes.
    CopyResult copyNoReplace(const std::string& from, const std::string& to,
                             const std::string& temporary) override;

private:
    // The real path that `path` stands for after the renames so far; false when one of them
    // freed it. Called with the lock held.
    bool realPathOf(const std::string& path, std::string& real) const;
    bool existsLocked(const std::string& path);
    // files::nameFits, remembering the longest name and path that fitted in the last folder.
    bool fitsLocked(const std::string& path, std::string& message);

    FileSystem& real_;
    std::mutex mutex_;
    // Hashed rather than ordered: the paths of one folder share a long start, which each step
    // of an ordered look-up compares again.
    std::unordered_map<std::string, std::string> taken_; // new path -> the real file carrying it
    std::unordered_set<std::string> freed_;
    std::set<std::string> madeFolders_; // without a separator at the end
    std::unordered_map<std::string, bool> realExists_;
    std::function<bool(const std::string&)> knownMissing_;
    std::string fittingFolder_;
    std::size_t fittingName_ = 0;
    std::size_t fittingPath_ = 0;
};

} // namespace shotstamp

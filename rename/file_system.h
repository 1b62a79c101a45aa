#pragma once

#include "platform/files.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace shotstamp {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

using files::MoveResult;
using files::MoveStatus;

// Names of a folder that match "*.jpg", one at a time.
class NameEnumeration {
public:
    virtual ~NameEnumeration() = default;
    virtual bool next(std::string& fileName) = 0;
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
    // Every name of a folder with its kind; false when the folder cannot be read.
    virtual bool listFolder(const std::string& folder, std::vector<files::FolderEntry>& entries) {
        return files::listFolder(folder, entries);
    }
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

private:
    FileSystem& real_;
    std::map<std::string, std::string> taken_; // new path -> the real file that would carry it
    std::set<std::string> freed_;
};

} // namespace shotstamp

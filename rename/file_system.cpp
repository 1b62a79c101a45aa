#include "file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace shotstamp {

namespace {

class RealFileSystem final : public FileSystem {
public:
    FileHandle openForReading(const std::string& path, std::string& message) override {
        return FileHandle(files::openForReading(path, message));
    }
    MoveResult moveNoReplace(const std::string& from, const std::string& to) override {
        return files::moveNoReplace(from, to);
    }
    std::unique_ptr<NameEnumeration> enumerateJpegs(const std::string& folder) override;
    bool exists(const std::string& path) override { return files::exists(path); }
    bool readsConcurrently() const override { return true; }
    bool identifyOpenFile(std::FILE* file, FileIdentity& identity) override {
        return files::identifyOpenFile(file, identity);
    }
    bool identifyPath(const std::string& path, FileIdentity& identity) override {
        return files::identifyPath(path, identity);
    }
    FileHandle openIdentified(const std::string& path, std::string& message, FileIdentity& identity,
                              bool& identified) override {
        return FileHandle(files::openIdentified(path, message, identity, identified));
    }
};

class RealEnumeration final : public NameEnumeration {
public:
    explicit RealEnumeration(const std::string& folder) : walk_(folder) {}
    bool valid() const { return walk_.valid(); }
    bool next(std::string& fileName) override { return walk_.next(fileName); }

private:
    files::Enumeration walk_;
};

std::unique_ptr<NameEnumeration> RealFileSystem::enumerateJpegs(const std::string& folder) {
    auto walk = std::make_unique<RealEnumeration>(folder);
    if (!walk->valid()) {
        return nullptr;
    }
    return walk;
}

} // namespace

FileSystem& realFileSystem() {
    static RealFileSystem instance;
    return instance;
}

bool DryRunFileSystem::realPathOf(const std::string& path, std::string& real) const {
    if (const auto it = taken_.find(path); it != taken_.end()) {
        real = it->second;
        return true;
    }
    real = path;
    return freed_.count(path) == 0;
}

FileHandle DryRunFileSystem::openForReading(const std::string& path, std::string& message) {
    std::string real;
    {
        const std::lock_guard lock(mutex_);
        if (!realPathOf(path, real)) {
            message = std::strerror(ENOENT);
            return nullptr;
        }
    }
    return real_.openForReading(real, message);
}

bool DryRunFileSystem::identifyOpenFile(std::FILE* file, FileIdentity& identity) {
    return real_.identifyOpenFile(file, identity);
}

bool DryRunFileSystem::identifyPath(const std::string& path, FileIdentity& identity) {
    std::string real;
    {
        const std::lock_guard lock(mutex_);
        if (!realPathOf(path, real)) {
            return false;
        }
    }
    return real_.identifyPath(real, identity);
}

bool DryRunFileSystem::exists(const std::string& path) {
    const std::lock_guard lock(mutex_);
    return existsLocked(path);
}

bool DryRunFileSystem::existsLocked(const std::string& path) {
    if (taken_.count(path) != 0) {
        return true;
    }
    return freed_.count(path) == 0 && real_.exists(path);
}

MoveResult DryRunFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    const std::lock_guard lock(mutex_);
    if (!existsLocked(from)) {
        return {MoveStatus::failed, std::strerror(ENOENT)};
    }
    if (existsLocked(to)) {
        // Where the system ignores letter case, the taken name may be the file itself.
        std::string realFrom;
        FileIdentity target;
        FileIdentity source;
        if (from == to || taken_.count(to) != 0 || !realPathOf(from, realFrom) ||
            !real_.identifyPath(to, target) || !real_.identifyPath(realFrom, source) ||
            !(target == source)) {
            return {MoveStatus::targetExists, {}};
        }
    }
    if (std::string message; !files::nameFits(to, message)) {
        return {MoveStatus::failed, message}; // what the real rename would answer
    }
    std::string source = from;
    if (const auto it = taken_.find(from); it != taken_.end()) {
        source = it->second;
        taken_.erase(it);
    }
    freed_.insert(from);
    freed_.erase(to);
    taken_[to] = source;
    return {MoveStatus::moved, {}};
}

bool DryRunFileSystem::listFolder(const std::string& folder,
                                  std::vector<files::FolderEntry>& entries) {
    if (!real_.listFolder(folder, entries)) {
        return false;
    }
    // The folder as the renames so far would have left it: freed names gone, taken ones there.
    const std::lock_guard lock(mutex_);
    std::erase_if(entries,
                  [&](const auto& entry) { return freed_.count(folder + entry.name) != 0; });
    for (const auto& [path, real] : taken_) {
        const std::string_view name = std::string_view(path).substr(folder.size());
        if (path.starts_with(folder) &&
            std::none_of(name.begin(), name.end(), files::isPathSeparator) && !real_.exists(path)) {
            entries.push_back({std::string(name), files::kindOf(real)});
        }
    }
    return true;
}

bool DryRunFileSystem::removeFile(const std::string& path) {
    const std::lock_guard lock(mutex_);
    if (!existsLocked(path)) {
        return false;
    }
    taken_.erase(path);
    freed_.insert(path);
    return true;
}

std::unique_ptr<NameEnumeration> DryRunFileSystem::enumerateJpegs(const std::string& folder) {
    // Names are taken before any rename, so what a real run would see is the folder as it is.
    return real_.enumerateJpegs(folder);
}

} // namespace shotstamp

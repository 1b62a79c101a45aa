#include "file_system.h"

#include "content_hash.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <system_error>

namespace shotstamp {

std::optional<std::int64_t> FileSystem::modifiedSeconds(const std::string& path) {
    std::error_code failure;
    const auto written = std::filesystem::last_write_time(std::filesystem::path(path), failure);
    if (failure) {
        return std::nullopt;
    }
    const auto system = std::chrono::file_clock::to_sys(written);
    return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

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

void DryRunFileSystem::knowExists(const std::string& path) {
    const std::lock_guard lock(mutex_);
    realExists_.try_emplace(path, true);
}

bool DryRunFileSystem::exists(const std::string& path) {
    const std::lock_guard lock(mutex_);
    return existsLocked(path);
}

bool DryRunFileSystem::existsLocked(const std::string& path) {
    if (taken_.count(path) != 0 || madeFolders_.count(path) != 0) {
        return true;
    }
    if (freed_.count(path) != 0) {
        return false;
    }
    // Nothing changes under a dry run: the real answer is asked for once.
    const auto [known, added] = realExists_.try_emplace(path, false);
    if (added) {
        known->second = !(knownMissing_ && knownMissing_(path)) && real_.exists(path);
    }
    return known->second;
}

bool DryRunFileSystem::fitsLocked(const std::string& path, std::string& message) {
    // A name no longer than one that fitted in the same folder fits too.
    const std::size_t cut = path.find_last_of(
        files::kPreferredSeparator == '/' ? std::string_view("/") : std::string_view("\\/"));
    const std::string_view folder =
        std::string_view(path).substr(0, cut == std::string::npos ? 0 : cut + 1);
    const std::size_t name = path.size() - folder.size();
    if (folder == fittingFolder_ && name <= fittingName_ && path.size() <= fittingPath_) {
        return true;
    }
    if (!files::nameFits(path, message)) {
        return false;
    }
    if (folder != fittingFolder_) {
        fittingFolder_ = folder;
        fittingName_ = 0;
        fittingPath_ = 0;
    }
    fittingName_ = std::max(fittingName_, name);
    fittingPath_ = std::max(fittingPath_, path.size());
    return true;
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
    if (std::string message; !fitsLocked(to, message)) {
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

bool DryRunFileSystem::listFolder(const std::string& folder, files::FolderListing& entries) {
    const bool made = [&] {
        const std::lock_guard lock(mutex_);
        return !folder.empty() && madeFolders_.count(folder.substr(0, folder.size() - 1)) != 0;
    }();
    if (!made && !real_.listFolder(folder, entries)) {
        return false;
    }
    // The folder as the renames so far would have left it: freed names gone, taken ones there.
    const std::lock_guard lock(mutex_);
    for (const std::string& path : madeFolders_) {
        const std::string_view name = std::string_view(path).substr(folder.size());
        if (path.size() > folder.size() && path.starts_with(folder) &&
            std::none_of(name.begin(), name.end(), files::isPathSeparator)) {
            entries.add(name, files::EntryKind::folder);
        }
    }
    entries.keepIf([&](const files::FolderListing::Entry& entry) {
        return freed_.count(folder + std::string(entry.name)) == 0;
    });
    std::vector<std::pair<std::string_view, files::EntryKind>> taken; // in name order
    for (const auto& [path, real] : taken_) {
        const std::string_view name = std::string_view(path).substr(folder.size());
        if (path.starts_with(folder) &&
            std::none_of(name.begin(), name.end(), files::isPathSeparator) && !real_.exists(path)) {
            taken.emplace_back(name, files::kindOf(real));
        }
    }
    std::sort(taken.begin(), taken.end());
    for (const auto& [name, kind] : taken) {
        entries.add(name, kind);
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

bool DryRunFileSystem::createFolder(const std::string& path, std::string& message) {
    const std::lock_guard lock(mutex_);
    if (existsLocked(path)) {
        message = std::strerror(EEXIST);
        return false;
    }
    freed_.erase(path);
    madeFolders_.insert(path);
    return true;
}

bool DryRunFileSystem::removeFolder(const std::string& path) {
    files::FolderListing entries;
    if (!listFolder(path + files::kPreferredSeparator, entries) || !entries.empty()) {
        return false;
    }
    const std::lock_guard lock(mutex_);
    madeFolders_.erase(path);
    freed_.insert(path);
    return true;
}

CopyResult DryRunFileSystem::copyNoReplace(const std::string& from, const std::string& to,
                                           const std::string&) {
    const std::lock_guard lock(mutex_);
    std::string source;
    if (!realPathOf(from, source) || !real_.exists(source)) {
        return {CopyStatus::failed, std::string("opening the source: ") + std::strerror(ENOENT)};
    }
    if (existsLocked(to)) {
        return {CopyStatus::targetExists, {}};
    }
    if (std::string message; !fitsLocked(to, message)) {
        return {CopyStatus::failed, message};
    }
    FileIdentity identity;
    real_.identifyPath(source, identity);
    freed_.erase(to);
    taken_[to] = source;
    return {CopyStatus::copied, {}, identity.size};
}

std::unique_ptr<NameEnumeration> DryRunFileSystem::enumerateJpegs(const std::string& folder) {
    // Names are taken before any rename, so what a real run would see is the folder as it is.
    return real_.enumerateJpegs(folder);
}

namespace {

// Up to this many copies in flight; each holds two open files.
constexpr std::size_t kCopiesInFlight = 32;

class QueuedCopies final : public CheckedCopies {
public:
    void add(const std::string& from, const std::string& to, const std::string& temporary,
             std::vector<Finished>& finished) override {
        ContentHash& hash = hashes_.emplace_back();
        queue_.add(from, to, temporary, done_,
                   [&hash](const char* bytes, std::size_t count) { hash.add(bytes, count); });
        handOver(finished);
    }
    void finishAll(std::vector<Finished>& finished) override {
        queue_.finishAll(done_);
        handOver(finished);
    }

private:
    void handOver(std::vector<Finished>& finished) {
        for (files::FinishedCopy& copy : done_) {
            finished.push_back({std::move(copy.result), hashes_.front().value()});
            hashes_.pop_front();
        }
        done_.clear();
    }

    files::CopyQueue queue_{kCopiesInFlight, false};
    std::deque<ContentHash> hashes_; // one per copy not yet handed over, in order
    std::vector<files::FinishedCopy> done_;
};

} // namespace

std::unique_ptr<CheckedCopies> FileSystem::checkedCopies() {
    return std::make_unique<QueuedCopies>();
}

} // namespace shotstamp

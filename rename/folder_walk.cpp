#include "folder_walk.h"

#include "platform/text.h"

#include <algorithm>

namespace shotstamp {

FolderWalkList::FolderWalkList(std::vector<std::string> operands, bool recursive,
                               FileSystem& fileSystem)
    : recursive_(recursive), fileSystem_(fileSystem) {
    for (std::string& operand : operands) {
        FileIdentity identity;
        const bool known = fileSystem_.identifyPath(operand, identity);
        operands_.emplace_back(std::move(operand),
                               known ? std::optional(identity) : std::optional<FileIdentity>());
    }
}

void FolderWalkList::skip(const std::string& path, const std::string& reason) {
    if (onSkipped_) {
        onSkipped_(path, reason);
    }
}

// Queues a file unless it was queued before under this or another name. A file that cannot be
// identified is queued: opening it then says what is wrong.
void FolderWalkList::add(const std::string& folder, const std::string& fileName,
                         const std::optional<FileIdentity>* known) {
    FileIdentity identity;
    const bool identified = known != nullptr
                                ? known->has_value()
                                : fileSystem_.identifyPath(folder + fileName, identity);
    if (known != nullptr && known->has_value()) {
        identity = **known;
    }
    if (!identified || given_.insert({identity.volume, identity.index}).second) {
        pending_.emplace_back(folder, fileName);
    }
}

bool FolderWalkList::takeNext(std::string& folder, std::string& fileName) {
    if (!fill()) {
        return false;
    }
    folder = std::move(pending_.front().first);
    fileName = std::move(pending_.front().second);
    pending_.pop_front();
    return true;
}

bool FolderWalkList::firstEntry(std::string& folder, std::string& fileName) {
    if (!fill()) {
        return false;
    }
    folder = pending_.front().first;
    fileName = pending_.front().second;
    return true;
}

// Walks folders and operands until an entry is pending or nothing is left.
bool FolderWalkList::fill() {
    while (pending_.empty()) {
        if (!folders_.empty()) {
            const std::string folder = std::move(folders_.back());
            folders_.pop_back();
            walkFolder(folder);
            continue;
        }
        if (operands_.empty()) {
            return false;
        }
        std::string operand = std::move(operands_.front().first);
        const std::optional<FileIdentity> identity = operands_.front().second;
        operands_.pop_front();
        if (fileSystem_.kindOf(operand) == files::EntryKind::folder) {
            if (operand == ".") {
                operand.clear(); // the current folder, as an empty folder text means
            } else if (!operand.empty() && !files::isPathSeparator(operand.back())) {
                operand += files::isPathSeparator('\\') ? '\\' : '/';
            }
            roots_[operand] = operand;
            walkFolder(operand);
        } else {
            const std::string folder = files::folderOf(operand);
            const std::string name = operand.substr(folder.size());
            if (takes(folder, name, false)) {
                add(folder, name, &identity);
            }
        }
    }
    return true;
}

void FolderWalkList::walkFolder(const std::string& folder) {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    if (!fileSystem_.folderIdentity(folder, volume, index)) {
        skip(folder, "cannot read folder");
        return;
    }
    if (!seen_.insert({volume, index}).second) {
        return;
    }
    std::vector<files::FolderEntry> entries;
    if (!fileSystem_.listFolder(folder, entries)) {
        skip(folder, "cannot read folder");
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    std::vector<std::string> subFolders;
    for (const files::FolderEntry& entry : entries) {
        if (entry.kind == files::EntryKind::folder) {
            if (recursive_) {
                subFolders.push_back(folder + entry.name);
            }
        } else if (!takes(folder, entry.name, true)) {
            continue;
        } else if (entry.kind == files::EntryKind::link) {
            skip(folder + entry.name, "symbolic link, not followed");
        } else {
            add(folder, entry.name);
        }
    }
    // Sub-folders in name order: the stack takes them last first.
    const char separator = files::isPathSeparator('\\') ? '\\' : '/';
    const std::string root = rootOf(folder);
    for (auto it = subFolders.rbegin(); it != subFolders.rend(); ++it) {
        folders_.push_back(*it + separator);
        roots_[folders_.back()] = root;
    }
}

bool FolderWalkList::takes(const std::string& folder, const std::string& name, bool inWalk) const {
    return filter_ ? filter_(folder, name, inWalk) : text::endsWithJpg(name);
}

std::string FolderWalkList::rootOf(const std::string& folder) const {
    const auto found = roots_.find(folder);
    return found != roots_.end() ? found->second : folder;
}

} // namespace shotstamp

#include "folder_walk.h"

#include "platform/text.h"

#include <algorithm>

namespace shotstamp {

FolderWalkList::FolderWalkList(std::vector<std::string> operands, bool recursive,
                               FileSystem& fileSystem)
    : recursive_(recursive), remembers_(recursive || operands.size() > 1), fileSystem_(fileSystem),
      listed_(remembers_) {
    for (std::string& operand : operands) {
        FileIdentity identity;
        const bool known = fileSystem_.identifyPath(operand, identity);
        operands_.emplace_back(std::move(operand),
                               known ? std::optional(identity) : std::optional<FileIdentity>());
    }
}

bool FolderWalkList::IdentitySet::insert(std::uint64_t volume, std::uint64_t index) {
    if ((count_ + 1) * 4 > slots_.size() * 3) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(std::max<std::size_t>(64, old.size() * 2), Slot{});
        count_ = 0;
        for (const Slot& slot : old) {
            if (slot.used) {
                insert(slot.volume, slot.index);
            }
        }
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = (index * 0x9E3779B97F4A7C15ull ^ volume) & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (!slot.used) {
            slot = {volume, index, true};
            ++count_;
            return true;
        }
        if (slot.volume == volume && slot.index == index) {
            return false;
        }
    }
}

void FolderWalkList::skip(const std::string& path, const std::string& reason) {
    if (onSkipped_) {
        onSkipped_(path, reason);
    }
}

// A file that cannot be identified is given: opening it then says what is wrong.
bool FolderWalkList::firstTime(const std::string& path, const std::optional<FileIdentity>& known) {
    if (!remembers_) {
        return true;
    }
    FileIdentity identity;
    if (known) {
        identity = *known;
    } else if (!fileSystem_.identifyPath(path, identity)) {
        return true;
    }
    return given_.insert(identity.volume, identity.index);
}

bool FolderWalkList::takeNext(std::string& folder, std::string& fileName) {
    if (!fill()) {
        return false;
    }
    if (pendingFile_) {
        folder = std::move(pendingFile_->first);
        fileName = std::move(pendingFile_->second);
        pendingFile_.reset();
        return true;
    }
    folder = listedFolder_;
    fileName = listed_[nextListed_++].name;
    listedReady_ = false;
    return true;
}

bool FolderWalkList::firstEntry(std::string& folder, std::string& fileName) {
    if (!fill()) {
        return false;
    }
    if (pendingFile_) {
        folder = pendingFile_->first;
        fileName = pendingFile_->second;
        return true;
    }
    folder = listedFolder_;
    fileName = listed_[nextListed_].name;
    return true;
}

bool FolderWalkList::listedWithout(const std::string& path) const {
    const std::lock_guard lock(listingMutex_);
    if (listed_.empty() || path.size() <= listedFolder_.size() ||
        !path.starts_with(listedFolder_)) {
        return false;
    }
    const std::string_view name = std::string_view(path).substr(listedFolder_.size());
    return std::none_of(name.begin(), name.end(), files::isPathSeparator) &&
           !listed_.mayContainIgnoringCase(name);
}

bool FolderWalkList::nextListed() {
    if (listedReady_) {
        return true;
    }
    for (; nextListed_ < listed_.size(); ++nextListed_) {
        const files::FolderListing::Entry entry = listed_[nextListed_];
        if (entry.kind == files::EntryKind::folder || !takes(listedFolder_, entry.name, true)) {
            continue;
        }
        std::string path = listedFolder_;
        path += entry.name;
        if (entry.kind == files::EntryKind::link) {
            skip(path, "symbolic link, not followed");
            continue;
        }
        std::optional<FileIdentity> identity;
        if (entry.index != 0) {
            identity = FileIdentity{listedVolume_, entry.index, 0, 0};
        }
        if (firstTime(path, identity)) {
            listedReady_ = true;
            return true;
        }
    }
    // The listing stays until the next folder's replaces it: the plan of the batch that holds
    // the folder's last pictures still asks it which new names are free.
    return false;
}

// Walks folders and operands until an entry is pending or nothing is left.
bool FolderWalkList::fill() {
    while (!pendingFile_ && !nextListed()) {
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
                operand += files::kPreferredSeparator;
            }
            roots_[operand] = operand;
            walkFolder(operand);
        } else {
            std::string folder = files::folderOf(operand);
            std::string name = operand.substr(folder.size());
            if (takes(folder, name, false) && firstTime(operand, identity)) {
                pendingFile_.emplace(std::move(folder), std::move(name));
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
    // Listed aside, so that the planning thread keeps asking the previous folder's listing
    // meanwhile; only the exchange holds the lock.
    files::FolderListing fresh(listed_.keepsIndexes());
    const bool listed = fileSystem_.listFolder(folder, fresh);
    if (listed) {
        fresh.sortByName();
    } else {
        fresh.clear(); // what a failed listing read so far
    }
    {
        const std::lock_guard lock(listingMutex_);
        listed_ = std::move(fresh);
        listedFolder_ = folder;
        listedVolume_ = volume;
    }
    nextListed_ = 0;
    if (!listed) {
        skip(folder, "cannot read folder");
        return;
    }
    if (!recursive_) {
        return;
    }
    // Sub-folders in name order: the stack takes them last first. The listing is read forwards,
    // the way it reads fastest.
    const std::string root = rootOf(folder);
    const std::size_t stacked = folders_.size();
    for (const files::FolderListing::Entry entry : listed_) {
        if (entry.kind == files::EntryKind::folder) {
            std::string path = folder;
            path += entry.name;
            path += files::kPreferredSeparator;
            roots_[path] = root;
            folders_.push_back(std::move(path));
        }
    }
    std::reverse(folders_.begin() + static_cast<std::ptrdiff_t>(stacked), folders_.end());
}

bool FolderWalkList::takes(const std::string& folder, std::string_view name, bool inWalk) const {
    return filter_ ? filter_(folder, name, inWalk) : text::endsWithJpg(name);
}

std::string FolderWalkList::rootOf(const std::string& folder) const {
    const auto found = roots_.find(folder);
    return found != roots_.end() ? found->second : folder;
}

} // namespace shotstamp

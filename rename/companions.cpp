#include "companions.h"

#include "metadata/containers/container.h"
#include "platform/text.h"

#include <algorithm>
#include <string_view>

namespace shotstamp {

namespace {

// What a file's extension makes it in a group of files that share a stem: the still image
// ranks first (JPEG before the other stills before RAW), then a clip; sidecars and edit files
// only ever go with another file.
enum Rank : int { jpegStill, otherStill, rawStill, clip, sidecar, unrelated };

Rank rankOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return unrelated;
    }
    const std::string extension = text::lowerAscii(name.substr(dot));
    if (extension == ".xmp" || extension == ".aae") {
        return sidecar;
    }
    switch (containerOfExtension(extension)) {
    case ContainerKind::jpeg:
        return jpegStill;
    case ContainerKind::heif:
    case ContainerKind::avif:
    case ContainerKind::png:
    case ContainerKind::webp:
    case ContainerKind::jxl:
        return otherStill;
    case ContainerKind::tiff:
        return extension == ".tif" || extension == ".tiff" ? otherStill : rawStill;
    case ContainerKind::cr3:
    case ContainerKind::raf:
        return rawStill;
    case ContainerKind::quickTime:
        return clip;
    case ContainerKind::unknown:
        break;
    }
    return unrelated;
}

// The part before the last dot, or the whole name.
std::string_view stemOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

// Sidecars named after a whole picture name: IMG_1.HEIC.xmp, IMG_1.HEIC.json and
// IMG_1.HEIC.supplemental-metadata.json. The lower-case picture name, or empty for other names.
std::string wholeNameKey(std::string_view name) {
    const std::string lower = text::lowerAscii(name);
    for (const std::string_view suffix : {std::string_view(".supplemental-metadata.json"),
                                          std::string_view(".json"), std::string_view(".xmp")}) {
        if (lower.size() > suffix.size() && lower.ends_with(suffix)) {
            const std::string picture = lower.substr(0, lower.size() - suffix.size());
            return rankOf(picture) < sidecar ? picture : std::string();
        }
    }
    return {};
}

} // namespace

// The rank of a stem's pictures: the best of its files', where sidecars never count as pictures.
int CompanionIndex::bestRank(const std::vector<Member>& members) {
    int best = sidecar;
    for (const Member& member : members) {
        best = std::min(best, member.rank);
    }
    return best < sidecar ? best : -1;
}

CompanionIndex::Folder& CompanionIndex::folderIndex(const std::string& folder) {
    const auto found = folders_.find(folder);
    if (found != folders_.end()) {
        return found->second;
    }
    Folder& index = folders_[folder];
    files::FolderListing entries;
    if (!fileSystem_.listFolder(folder, entries)) {
        return index;
    }
    for (const files::FolderListing::Entry entry : entries) {
        if (entry.kind == files::EntryKind::folder) {
            continue;
        }
        if (std::string key = wholeNameKey(entry.name); !key.empty()) {
            index.companions.emplace(std::move(key), std::string(entry.name));
            continue;
        }
        if (const Rank rank = rankOf(entry.name); rank != unrelated) {
            index.members[text::lowerAscii(stemOf(entry.name))].push_back(
                {std::string(entry.name), rank});
        }
    }
    // In each group of a stem the best-ranked files are its pictures; the rest go with them.
    for (auto& [stem, members] : index.members) {
        const int best = bestRank(members);
        for (const Member& member : members) {
            if (member.rank == best) {
                ++index.pictures[stem];
                ++index.pictures[text::lowerAscii(member.name)];
            } else {
                index.companions.emplace(stem, member.name);
                index.pictureOf[member.name] = stem;
            }
        }
    }
    return index;
}

bool CompanionIndex::goesWith(const std::string& folder, const std::string& name,
                              std::string& picture) {
    Folder& index = folderIndex(folder);
    const auto owner = index.pictureOf.find(name);
    if (owner == index.pictureOf.end()) {
        return false;
    }
    const auto& members = index.members[owner->second];
    const int best = bestRank(members);
    picture.clear();
    for (const Member& member : members) {
        if (member.rank == best) {
            picture += picture.empty() ? member.name : " and " + member.name;
        }
    }
    return true;
}

void CompanionIndex::claim(const std::string& folder, Folder& index, const std::string& key,
                           const std::function<void(const std::string& name)>& take) {
    const auto [first, last] = index.companions.equal_range(key);
    if (first == last) {
        return;
    }
    if (index.pictures[key] <= 1) {
        for (auto it = first; it != last; ++it) {
            take(it->second);
        }
        return;
    }
    // Shared: reported once, then no picture is given it.
    for (auto it = first; it != last; ++it) {
        if (onShared_) {
            onShared_(folder + it->second);
        }
    }
    index.companions.erase(first, last);
}

std::vector<CompanionMove> CompanionIndex::companionsOf(const std::string& folder,
                                                        const std::string& pictureName,
                                                        const std::string& newPictureName) {
    std::vector<CompanionMove> moves;
    Folder& index = folderIndex(folder);
    const std::string_view stem = stemOf(pictureName);
    const std::string_view newStem = stemOf(newPictureName);
    // IMG_1.CR2, img_1.xmp, IMG_1.MOV ...: the new stem and the companion's own extension.
    claim(folder, index, text::lowerAscii(stem), [&](const std::string& name) {
        moves.push_back({name, std::string(newStem) + name.substr(stem.size())});
    });
    // IMG_1.JPG.xmp: a sidecar named after the whole picture name follows the whole new name.
    if (stem.size() != pictureName.size()) {
        claim(folder, index, text::lowerAscii(pictureName), [&](const std::string& name) {
            moves.push_back({name, newPictureName + name.substr(pictureName.size())});
        });
    }
    return moves;
}

void CompanionIndex::restore(const std::string& folder, const std::string& name) {
    std::string key = wholeNameKey(name);
    if (key.empty()) {
        key = text::lowerAscii(stemOf(name));
    }
    folderIndex(folder).companions.emplace(std::move(key), name);
}

void CompanionIndex::noteMove(const std::string& folder, const std::string& from,
                              const std::string& /*to*/) {
    auto& companions = folderIndex(folder).companions;
    for (const std::string& key : {text::lowerAscii(stemOf(from)), wholeNameKey(from)}) {
        const auto [first, last] = companions.equal_range(key);
        for (auto it = first; it != last; ++it) {
            if (it->second == from) {
                companions.erase(it);
                return;
            }
        }
    }
}

} // namespace shotstamp

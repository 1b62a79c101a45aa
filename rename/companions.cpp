#include "companions.h"

#include "platform/text.h"

#include <algorithm>
#include <string_view>

namespace shotstamp {

namespace {

constexpr std::string_view kExtensions[] = {".cr2", ".cr3", ".nef", ".arw", ".dng", ".raf", ".orf",
                                            ".rw2", ".pef", ".srw", ".xmp", ".mov", ".mp4", ".aae"};

// The part before the last dot, or the whole name.
std::string_view stemOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

// The lower-case key a companion is found by (its name without its extension), or empty when
// the name carries no companion extension.
std::string keyOf(std::string_view name) {
    const std::string_view stem = stemOf(name);
    if (stem.size() == name.size()) {
        return {};
    }
    const std::string extension = text::lowerAscii(name.substr(stem.size()));
    const bool companion = std::find(std::begin(kExtensions), std::end(kExtensions), extension) !=
                           std::end(kExtensions);
    return companion ? text::lowerAscii(stem) : std::string();
}

} // namespace

CompanionIndex::Folder& CompanionIndex::folderIndex(const std::string& folder) {
    const auto found = folders_.find(folder);
    if (found != folders_.end()) {
        return found->second;
    }
    Folder& index = folders_[folder];
    std::vector<files::FolderEntry> entries;
    if (fileSystem_.listFolder(folder, entries)) {
        for (const files::FolderEntry& entry : entries) {
            if (entry.kind == files::EntryKind::folder) {
                continue;
            }
            if (text::endsWithJpg(entry.name)) {
                ++index.pictures[text::lowerAscii(stemOf(entry.name))];
                ++index.pictures[text::lowerAscii(entry.name)];
            } else if (std::string key = keyOf(entry.name); !key.empty()) {
                index.companions.emplace(std::move(key), entry.name);
            }
        }
    }
    return index;
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
            if (text::lowerAscii(name.substr(pictureName.size())) == ".xmp") {
                moves.push_back({name, newPictureName + name.substr(pictureName.size())});
            }
        });
    }
    return moves;
}

void CompanionIndex::noteMove(const std::string& folder, const std::string& from,
                              const std::string& /*to*/) {
    auto& companions = folderIndex(folder).companions;
    const auto [first, last] = companions.equal_range(keyOf(from));
    for (auto it = first; it != last; ++it) {
        if (it->second == from) {
            companions.erase(it);
            break;
        }
    }
}

} // namespace shotstamp

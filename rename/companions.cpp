#include "companions.h"

#include <algorithm>
#include <string_view>

namespace shotstamp {

namespace {

constexpr std::string_view kExtensions[] = {".cr2", ".cr3", ".nef", ".arw", ".dng", ".raf", ".orf",
                                            ".rw2", ".pef", ".srw", ".xmp", ".mov", ".mp4", ".aae"};

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

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
    const std::string extension = lowerAscii(name.substr(stem.size()));
    const bool companion = std::find(std::begin(kExtensions), std::end(kExtensions), extension) !=
                           std::end(kExtensions);
    return companion ? lowerAscii(stem) : std::string();
}

} // namespace

CompanionIndex::Index& CompanionIndex::folderIndex(const std::string& folder) {
    const auto found = folders_.find(folder);
    if (found != folders_.end()) {
        return found->second;
    }
    Index& index = folders_[folder];
    std::vector<files::FolderEntry> entries;
    if (fileSystem_.listFolder(folder, entries)) {
        for (const files::FolderEntry& entry : entries) {
            if (entry.kind != files::EntryKind::folder) {
                if (std::string key = keyOf(entry.name); !key.empty()) {
                    index.emplace(std::move(key), entry.name);
                }
            }
        }
    }
    return index;
}

std::vector<CompanionMove> CompanionIndex::companionsOf(const std::string& folder,
                                                        const std::string& pictureName,
                                                        const std::string& newPictureName) {
    std::vector<CompanionMove> moves;
    Index& index = folderIndex(folder);
    if (index.empty()) {
        return moves;
    }
    const std::string_view stem = stemOf(pictureName);
    const std::string_view newStem = stemOf(newPictureName);
    // IMG_1.CR2, img_1.xmp, IMG_1.MOV ...: the new stem and the companion's own extension.
    const auto [first, last] = index.equal_range(lowerAscii(stem));
    for (auto it = first; it != last; ++it) {
        moves.push_back({it->second, std::string(newStem) + it->second.substr(stem.size())});
    }
    // IMG_1.JPG.xmp: a sidecar named after the whole picture name follows the whole new name.
    if (stem.size() != pictureName.size()) {
        const auto [from, to] = index.equal_range(lowerAscii(pictureName));
        for (auto it = from; it != to; ++it) {
            if (lowerAscii(it->second.substr(pictureName.size())) == ".xmp") {
                moves.push_back(
                    {it->second, newPictureName + it->second.substr(pictureName.size())});
            }
        }
    }
    return moves;
}

void CompanionIndex::noteMove(const std::string& folder, const std::string& from,
                              const std::string& to) {
    Index& index = folderIndex(folder);
    const auto [first, last] = index.equal_range(keyOf(from));
    for (auto it = first; it != last; ++it) {
        if (it->second == from) {
            index.erase(it);
            break;
        }
    }
    if (std::string key = keyOf(to); !key.empty()) {
        index.emplace(std::move(key), to);
    }
}

} // namespace shotstamp

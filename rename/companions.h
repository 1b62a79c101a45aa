#pragma once

#include "file_system.h"

#include <map>
#include <string>
#include <vector>

namespace shotstamp {

// A file that moves with a picture: its name now and the name it takes.
struct CompanionMove {
    std::string from; // name in the folder
    std::string to;
};

// The files beside pictures that belong to them: RAW files, sidecars (IMG_1.xmp and
// IMG_1.JPG.xmp) and the short videos and edit files phones write, found by the picture's stem in
// any letter case. Each folder is listed once, the first time a picture of it is asked about;
// moves made afterwards are told to the index so that it stays true.
class CompanionIndex {
public:
    explicit CompanionIndex(FileSystem& fileSystem) : fileSystem_(fileSystem) {}

    // The companions of `pictureName` in `folder` and the names they would take when the picture
    // is renamed to `newPictureName` (which ends in ".jpg").
    std::vector<CompanionMove> companionsOf(const std::string& folder,
                                            const std::string& pictureName,
                                            const std::string& newPictureName);

    // A companion was renamed in `folder`.
    void noteMove(const std::string& folder, const std::string& from, const std::string& to);

private:
    using Index = std::multimap<std::string, std::string>; // lower-case key -> name
    Index& folderIndex(const std::string& folder);

    FileSystem& fileSystem_;
    std::map<std::string, Index> folders_;
};

} // namespace shotstamp

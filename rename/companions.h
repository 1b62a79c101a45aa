#pragma once

#include "file_system.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace shotstamp {

// A file that moves with a picture: its name now and the name it takes.
struct CompanionMove {
    std::string from; // name in the folder
    std::string to;
};

// The files beside pictures that belong to them, found by the picture's stem in any letter case:
// among files of one stem the still image is the picture (a JPEG before other stills such as
// HEIC, those before RAW files, any still before a clip) and the others go with it: RAW files,
// Live Photo clips, sidecars (IMG_1.xmp, IMG_1.JPG.xmp, IMG_1.HEIC.json) and edit files. Each
// folder is listed once, the first time a picture of it is asked about, before any of its files has
// moved. A file belongs to a picture only while no other picture of the folder has the same stem in
// another letter case (IMG_3.JPG and IMG_3.jpg both claiming IMG_3.CR2): such a file stays where it
// is and is told to the handler. A file that has moved with its picture is never given again, to
// that picture or any other.
class CompanionIndex {
public:
    explicit CompanionIndex(FileSystem& fileSystem) : fileSystem_(fileSystem) {}

    // The companions of `pictureName` in `folder` and the names they would take when the picture
    // is renamed to `newPictureName`.
    std::vector<CompanionMove> companionsOf(const std::string& folder,
                                            const std::string& pictureName,
                                            const std::string& newPictureName);

    // True when `name` in `folder` goes with another file of its stem rather than being a picture
    // of its own; `picture` then names the picture (or pictures) it goes with.
    bool goesWith(const std::string& folder, const std::string& name, std::string& picture);

    // A companion was renamed in `folder`; it belongs to no picture any more.
    void noteMove(const std::string& folder, const std::string& from, const std::string& to);
    // A companion that a plan took (and noted as moved) stays where it was after all: it is
    // given again, to the next picture that claims it.
    void restore(const std::string& folder, const std::string& name);

    // Told of every file that more than one picture could claim, with its path, once.
    using SharedHandler = std::function<void(const std::string& path)>;
    void onShared(SharedHandler handler) { onShared_ = std::move(handler); }

private:
    struct Member {
        std::string name;
        int rank = 0; // lower goes first: the picture of a stem has the lowest
    };
    struct Folder {
        std::multimap<std::string, std::string> companions; // lower-case key -> name
        std::map<std::string, int> pictures; // lower-case stem or name -> pictures that have it
        std::map<std::string, std::vector<Member>> members; // lower-case stem -> its files
        std::map<std::string, std::string> pictureOf;       // companion name -> lower-case stem
    };
    // The rank of a stem's pictures (-1 when it has none: sidecars are never pictures).
    static int bestRank(const std::vector<Member>& members);
    Folder& folderIndex(const std::string& folder);
    // Moves for the companions under `key`, unless more pictures than one claim them.
    void claim(const std::string& folder, Folder& index, const std::string& key,
               const std::function<void(const std::string& name)>& take);

    FileSystem& fileSystem_;
    std::map<std::string, Folder> folders_;
    SharedHandler onShared_;
};

} // namespace shotstamp

#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp {

// A source of (folder, file name) entries for the rename commands. The folder is empty or ends in
// the platform's path separator, so folder + file name is the full path.
class EntryList {
public:
    virtual ~EntryList() = default;
    // The next entry, removed from the list; false when none is left.
    virtual bool takeNext(std::string& folder, std::string& fileName) = 0;
    // The first entry, removing nothing; false when there is none.
    virtual bool firstEntry(std::string& folder, std::string& fileName) = 0;
    // True when the list read the folder of `path` as a whole and no name like it was there
    // then. A name made since, by this run or another program, is not known, so this only
    // spares a plan a query about a new name; the move itself still never replaces. False
    // whenever that cannot be told.
    virtual bool listedWithout(const std::string& /*path*/) const { return false; }
};

// The entry list for this platform's command line: the Windows build searches the one
// command-line text for JPEG paths (MarkedFileList); a POSIX build receives the paths already
// split and takes each argument that ends in ".jpg" (ArgumentEntryList). Pass both forms; the
// one the platform does not use is ignored.
std::unique_ptr<EntryList> makeEntryList(std::string_view commandLineText,
                                         const std::vector<std::string>& arguments);

} // namespace shotstamp

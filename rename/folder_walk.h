#pragma once

#include "entry_list.h"
#include "file_system.h"

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace shotstamp {

// Entries from operands that may name folders: a file operand ending in ".jpg" is one entry; a
// folder operand stands for its "*.jpg" files in name order and, when recursive, for those of its
// sub-folders after them. Symbolic links to folders are never followed inside a walk, and no
// folder is walked twice, whatever names lead to it. Folders are listed as the walk reaches them.
class FolderWalkList final : public EntryList {
public:
    FolderWalkList(std::vector<std::string> operands, bool recursive, FileSystem& fileSystem);

    bool takeNext(std::string& folder, std::string& fileName) override;
    bool firstEntry(std::string& folder, std::string& fileName) override;

private:
    bool fill();
    void walkFolder(const std::string& folder);

    std::deque<std::string> operands_;
    bool recursive_;
    FileSystem& fileSystem_;
    std::deque<std::pair<std::string, std::string>> pending_; // folder, file name
    std::vector<std::string> folders_;                        // still to walk, last first
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
};

} // namespace shotstamp

#pragma once

#include <string>

// The three ways a POSIX file system can be made to rename without replacing, tried in order by
// files::moveNoReplace. Exposed so that each can be tested on its own.
namespace shotstamp::files::posix {

enum class StepStatus { moved, targetExists, unsupported, failed };

struct StepResult {
    StepStatus status = StepStatus::failed;
    int error = 0; // errno when failed or unsupported
};

// renameat2 with RENAME_NOREPLACE: atomic, where the file system supports the flag.
StepResult renameNoReplace(const std::string& from, const std::string& to);

// link() then unlink(): link refuses an existing target atomically; needs hard links.
StepResult linkThenUnlink(const std::string& from, const std::string& to);

// For file systems with neither (FAT, exFAT over FUSE): claim the target with an exclusive
// create, then rename over that empty claim. A file that existed before is never replaced; a
// process that deletes the claim and puts its own file there in the microseconds between the two
// steps would lose it, which no POSIX call can rule out on such a file system.
StepResult guardedRename(const std::string& from, const std::string& to);

} // namespace shotstamp::files::posix

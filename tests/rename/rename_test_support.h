#pragma once

// Shared by the rename tests on real folders: an outcome recorder, prefix sources, and the check
// of one picture's rename against the folder's contents before and after.

#include "rename/journal.h"
#include "rename/rename_commands.h"
#include "tests/support/test_files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace shotstamp::testing {

// The platform's path separator ("/" on POSIX, "\" on Windows).
inline std::string separator() {
    return std::string(1, static_cast<char>(std::filesystem::path::preferred_separator));
}

inline void makeFolder(const std::string& path) {
    std::error_code error;
    ASSERT_TRUE(std::filesystem::create_directory(path, error)) << path << ": " << error.message();
}

// The real files, for fakes that change one or two operations: whatever they do not override
// reaches the real file system.
class PassThroughFiles : public FileSystem {
public:
    FileSystem& real = realFileSystem();

    FileHandle openForReading(const std::string& p, std::string& m) override {
        return real.openForReading(p, m);
    }
    MoveResult moveNoReplace(const std::string& f, const std::string& t) override {
        return real.moveNoReplace(f, t);
    }
    std::unique_ptr<NameEnumeration> enumerateJpegs(const std::string& f) override {
        return real.enumerateJpegs(f);
    }
    bool exists(const std::string& p) override { return real.exists(p); }
    bool identifyOpenFile(std::FILE* f, FileIdentity& id) override {
        return real.identifyOpenFile(f, id);
    }
    bool identifyPath(const std::string& p, FileIdentity& id) override {
        return real.identifyPath(p, id);
    }
};

// Undoes the last run of the journals in `state`; the steps it took, last move first.
inline std::vector<UndoStep> undoLast(const std::string& state,
                                      FileSystem& files = realFileSystem()) {
    JournalRun run;
    std::vector<UndoStep> steps;
    if (readRun(files, state, lastUndoableRun(files, state), run)) {
        RunJournal journal(state, "undo", run.name);
        undoRun(run, files, &journal, [&](const UndoStep& s) { steps.push_back(s); });
    }
    return steps;
}

class Recorder final : public RenameObserver {
public:
    void onOutcome(const RenameOutcome& outcome) override { outcomes.push_back(outcome); }
    std::vector<RenameOutcome> outcomes;
};

// Counts how often the prefix is read and changes it between pictures.
class CountingPrefix final : public PrefixSource {
public:
    std::string currentPrefix() override {
        // Appended, not "P" + ...: GCC 12 at -O3 misreads that inlined copy as overlapping.
        std::string prefix = "P";
        prefix += std::to_string(++reads);
        prefix += ' ';
        return prefix;
    }
    int reads = 0;
};

inline RenameOutcome renameOne(const std::string& folder, const std::string& name,
                               const std::string& prefix = "") {
    FixedPrefix fixed(prefix);
    return renameScanned(scanPicture(folder, name, realFileSystem()), fixed, realFileSystem());
}

struct PictureCase {
    const char* what;
    std::string name;
    std::string bytes;
    RenameKind kind;
    std::string newName; // empty: keeps its name
};

// Renames the one picture of a fresh folder that also holds a bystander file: the outcome is the
// expected one, and the folder changes by that rename only.
inline void checkPictureCase(const PictureCase& c) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    ASSERT_FALSE(dir.path().empty());
    writeFile(dir.path() + c.name, c.bytes);
    writeFile(dir.path() + "other.txt", "bystander");
    const auto before = dir.contents();
    ASSERT_EQ(before.count(c.name), 1u) << "the test could not make the picture";

    const RenameOutcome outcome = renameOne(dir.path(), c.name);
    EXPECT_EQ(outcome.kind, c.kind) << reasonText(outcome.kind) << " " << outcome.systemMessage;
    EXPECT_EQ(outcome.oldPath, dir.path() + c.name);

    auto expected = before;
    if (!c.newName.empty()) {
        EXPECT_EQ(outcome.newPath, dir.path() + c.newName);
        expected[c.newName] = expected[c.name];
        expected.erase(c.name);
    }
    EXPECT_EQ(dir.contents(), expected);
}

} // namespace shotstamp::testing

// Files placed in other folders and copied: folders made by a run go again on undo only while
// empty, copies are deleted only while unchanged, a copy cut short never carries its name and is
// cleaned up, and a fault at a folder or copy step leaves everything undoable.

#include "rename/journal.h"
#include "rename/move_step.h"
#include "rename_test_support.h"

#include <filesystem>
#include <functional>
#include <random>

namespace shotstamp {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::undoLast;
using testing::writeFile;
namespace fs = std::filesystem;

const std::string sep = testing::separator();

// Every path under `root` (relative) with the checksum of its bytes; 0 for a folder.
std::map<std::string, std::uint64_t> tree(const std::string& root) {
    std::map<std::string, std::uint64_t> out;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
        const std::string path = entry.path().string();
        out[path.substr(root.size())] =
            entry.is_directory() ? 0 : testing::checksum(readFile(path));
    }
    return out;
}

std::vector<UndoKind> kinds(const std::vector<UndoStep>& steps) {
    std::vector<UndoKind> out;
    for (const UndoStep& step : steps) {
        out.push_back(step.kind);
    }
    return out;
}

// Cuts the last journal after its last copy line, as a kill during that copy would have.
void cutAfterCopy(const std::string& state) {
    const std::string path = state + listRuns(realFileSystem(), state).back() + ".journal";
    std::string text = readFile(path);
    text.erase(text.find('\n', text.rfind("\ncopy ") + 1) + 1);
    writeFile(path, text);
}

TEST(Placement, FoldersMadeByTheRunGoOnUndoOnlyWhenEmpty) {
    TempFolder dir;
    TempFolder state;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        writeFile(dir.path() + name, name);
    }
    testing::makeFolder(dir.path() + "keep");
    const auto before = tree(dir.path());
    FileSystem& real = realFileSystem();
    {
        // A dry run predicts the names and makes nothing.
        DryRunFileSystem dry(real);
        const std::string to = dir.path() + "2005" + sep + "12" + sep + "a.jpg";
        EXPECT_EQ(
            placeFile(dry, nullptr, dir.path() + "a.jpg", to, nullptr, Placement::move).status,
            MoveStatus::moved);
        EXPECT_EQ(
            placeFile(dry, nullptr, dir.path() + "b.jpg", to, nullptr, Placement::copy).status,
            MoveStatus::targetExists);
        EXPECT_EQ(tree(dir.path()), before);
    }
    {
        RunJournal journal(state.path(), "test");
        const auto place = [&](const char* name, const std::string& folder) {
            const MoveResult r =
                placeFile(real, &journal, dir.path() + name, dir.path() + folder + sep + name,
                          nullptr, Placement::move);
            EXPECT_EQ(r.status, MoveStatus::moved) << name << ": " << r.message;
        };
        place("a.jpg", "2005" + sep + "12");
        place("b.jpg", "2005" + sep + "11");
        place("c.jpg", "keep" + sep + "sub");
    }
    EXPECT_EQ(tree(dir.path()).count("2005" + sep + "11" + sep + "b.jpg"), 1u);
    writeFile(dir.path() + "2005" + sep + "11" + sep + "mine.txt", "added after the run");
    const auto steps = undoLast(state.path());
    // Last first: c back, keep/sub removed (keep was there before), b back, 2005/11 holds the
    // user's file, a back, 2005/12 removed, 2005 not empty.
    EXPECT_EQ(kinds(steps),
              (std::vector{UndoKind::reverted, UndoKind::folderRemoved, UndoKind::reverted,
                           UndoKind::folderKept, UndoKind::reverted, UndoKind::folderRemoved,
                           UndoKind::folderKept}));
    auto expected = before;
    expected["2005"] = 0;
    expected["2005" + sep + "11"] = 0;
    expected["2005" + sep + "11" + sep + "mine.txt"] = testing::checksum("added after the run");
    EXPECT_EQ(tree(dir.path()), expected);
}

// A folder on a tmpfs and one on the work disk, or empty when there is no such pair.
std::string otherFileSystem(const std::string& from) {
    std::error_code error;
    const fs::path shm = "/dev/shm";
    FileIdentity a;
    FileIdentity b;
    if (!fs::is_directory(shm, error) || !realFileSystem().identifyPath(shm.string(), a) ||
        !realFileSystem().identifyPath(from, b) || a.volume == b.volume) {
        return {};
    }
    return shm.string() + "/";
}

TEST(Placement, CopyToAnotherFileSystemAndItsUndo) {
    // The source on the work disk (the build tree), the target on a tmpfs.
    const std::string unique = std::to_string(std::random_device()());
    const std::string disk = fs::current_path().string() + sep + "placement-" + unique + sep;
    fs::remove_all(disk);
    fs::create_directories(disk);
    const std::string shm = otherFileSystem(disk);
    if (shm.empty()) {
        fs::remove_all(disk);
        GTEST_SKIP() << "no tmpfs at /dev/shm on another file system than the build tree";
    }
    const std::string card = shm + "shotstamp-placement-" + unique + "/";
    fs::remove_all(card);
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) {
        writeFile(disk + name, std::string(100000, name[0]));
    }
    const auto sources = tree(disk);
    TempFolder state;
    FileSystem& real = realFileSystem();
    {
        RunJournal journal(state.path(), "test");
        const MoveResult refused =
            placeFile(real, &journal, disk + "1.jpg", card + "x.jpg", nullptr, Placement::move);
        EXPECT_EQ(refused.status, MoveStatus::failed);
        EXPECT_EQ(refused.message, files::kOtherFileSystem);
        EXPECT_FALSE(fs::exists(card)) << "a refused move made its folder";
        for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) {
            const MoveResult r = placeFile(real, &journal, disk + name, card + "2020/" + name,
                                           nullptr, Placement::copy);
            EXPECT_EQ(r.status, MoveStatus::moved) << r.message;
        }
    }
    EXPECT_EQ(tree(disk), sources);
    EXPECT_EQ(readFile(card + "2020/2.jpg"), readFile(disk + "2.jpg"));
    writeFile(card + "2020/2.jpg", std::string(100000, '2') + "edited");
    const auto steps = undoLast(state.path());
    EXPECT_EQ(kinds(steps),
              (std::vector{UndoKind::copyDeleted, UndoKind::copyChanged, UndoKind::copyDeleted,
                           UndoKind::folderKept, UndoKind::folderKept}));
    EXPECT_EQ(tree(card),
              (std::map<std::string, std::uint64_t>{
                  {"2020", 0},
                  {"2020" + sep + "2.jpg", testing::checksum(readFile(card + "2020/2.jpg"))}}));
    EXPECT_EQ(tree(disk), sources);
    fs::remove_all(card);
    fs::remove_all(disk);
}

// The real files, with a copy killed after its temporary file was written, and faults when asked.
class Hooked : public testing::PassThroughFiles {
public:
    bool killCopy = false;
    std::function<bool(const char* step)> fault = [](const char*) { return false; };

    MoveResult moveNoReplace(const std::string& f, const std::string& t) override {
        return fault("move") ? MoveResult{MoveStatus::failed, "Input/output error"}
                             : real.moveNoReplace(f, t);
    }
    bool append(std::FILE* f, std::string_view text, std::string& m) override {
        m = "No space left on device";
        return !fault("journal") && real.append(f, text, m);
    }
    bool createFolder(const std::string& p, std::string& m) override {
        m = "No space left on device";
        return !fault("folder") && real.createFolder(p, m);
    }
    CopyResult copyNoReplace(const std::string& f, const std::string& t,
                             const std::string& temporary) override {
        if (killCopy) {
            writeFile(temporary, readFile(f).substr(0, 3)); // and then nothing more
            return {CopyStatus::failed, "killed"};
        }
        return fault("copy") ? CopyResult{CopyStatus::failed, "Input/output error"}
                             : real.copyNoReplace(f, t, temporary);
    }
};

TEST(Placement, KilledCopyIsCleanedByUndoAndByTheNextRun) {
    TempFolder dir;
    writeFile(dir.path() + "a.jpg", "picture a");
    writeFile(dir.path() + "b.jpg", "picture b");
    Hooked files;
    const std::string target = dir.path() + "out" + sep;
    // Killed in a copy, after an earlier move that had only claimed its new name (a 0-byte
    // file, as the exclusive-create way of moving does first).
    const auto killedRun = [&](const std::string& state) {
        files.killCopy = true;
        RunJournal journal(state, "killed", {}, RunJournal::WhenUnwritable::stop, &files);
        FileIdentity b;
        ASSERT_TRUE(files.identifyPath(dir.path() + "b.jpg", b));
        journal.note(dir.path() + "b.jpg", dir.path() + "claimed.jpg", &b);
        ASSERT_TRUE(journal.commit());
        writeFile(dir.path() + "claimed.jpg", "");
        placeFile(files, &journal, dir.path() + "a.jpg", target + "a.jpg", nullptr,
                  Placement::copy);
        files.killCopy = false;
    };
    const auto leftovers = [&] {
        std::size_t parts = 0;
        for (const auto& [name, sum] : tree(target)) {
            parts += isTemporaryCopyName(name) ? 1 : 0;
            EXPECT_NE(name, "a.jpg") << "a copy cut short carries its name";
        }
        return parts;
    };
    {
        TempFolder state;
        killedRun(state.path());
        cutAfterCopy(state.path());
        EXPECT_EQ(leftovers(), 1u);
        EXPECT_EQ(kinds(undoLast(state.path())),
                  (std::vector{UndoKind::leftoverRemoved, UndoKind::notMoved,
                               UndoKind::folderRemoved, UndoKind::notMoved}));
        EXPECT_FALSE(fs::exists(target));
        EXPECT_FALSE(fs::exists(dir.path() + "claimed.jpg"));
    }
    {
        TempFolder state;
        killedRun(state.path());
        cutAfterCopy(state.path());
        // A run that holds a temporary copy open, and a file that only looks like one.
        std::string message;
        const FileHandle inUse(files::createNew(target + ".shotstamp-copy-9-9.part", message));
        writeFile(target + "shotstamp-copy-1.part", "not ours");
        RunJournal next(state.path(), "next");
        next.tidyAfterKilledRuns();
        EXPECT_EQ(leftovers(), 1u) << "the killed run's copy stays, or the one in use went";
        EXPECT_FALSE(fs::exists(dir.path() + "claimed.jpg")) << "the killed run's claim stays";
        writeFile(target + ".shotstamp-copy-1-1.part", "stale, of a run without a journal");
        EXPECT_EQ(placeFile(files, &next, dir.path() + "b.jpg", target + "b.jpg", nullptr,
                            Placement::copy)
                      .status,
                  MoveStatus::moved);
        EXPECT_EQ(leftovers(), 1u);
        EXPECT_EQ(tree(target).count("shotstamp-copy-1.part"), 1u);
    }
}

TEST(Placement, FaultsAtFolderAndCopyStepsLeaveEverythingUndoable) {
    for (const char* step : {"folder", "copy", "move", "journal"}) {
        for (int at = 1; at <= 4; ++at) {
            SCOPED_TRACE(std::string(step) + " fails at call " + std::to_string(at));
            TempFolder dir;
            TempFolder state;
            for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
                writeFile(dir.path() + name, name);
            }
            const auto before = tree(dir.path());
            Hooked files;
            int calls = 0;
            files.fault = [&](const char* s) { return s == std::string(step) && ++calls == at; };
            {
                RunJournal journal(state.path(), "test", {}, RunJournal::WhenUnwritable::stop,
                                   &files);
                placeFile(files, &journal, dir.path() + "a.jpg",
                          dir.path() + "2001" + sep + "01" + sep + "a.jpg", nullptr,
                          Placement::copy);
                placeFile(files, &journal, dir.path() + "b.jpg",
                          dir.path() + "2001" + sep + "02" + sep + "b.jpg", nullptr,
                          Placement::move);
                placeFile(files, &journal, dir.path() + "c.jpg",
                          dir.path() + "2002" + sep + "c.jpg", nullptr, Placement::copy);
            }
            files.fault = [](const char*) { return false; };
            undoLast(state.path(), files);
            EXPECT_EQ(tree(dir.path()), before);
        }
    }
}

} // namespace
} // namespace shotstamp

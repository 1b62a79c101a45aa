// The journal, undo and the identity of the files moved, on real folders: a move is made only
// after its journal line is synced, faults at any step are undone exactly, undo moves only the
// file the run moved, and no picture takes a name decided on another file.

#include "rename/companions.h"
#include "rename/folder_walk.h"
#include "rename/journal.h"
#include "rename/move_step.h"
#include "rename_test_support.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

namespace shotstamp {
namespace {

using testing::checksums;
using testing::jpegWithExif;
using testing::Recorder;
using testing::TempFolder;
using testing::undoLast;
using testing::writeFile;

// The real files, with a hook before each journal write and each move; it keeps what was
// written and how many move lines were synced.
class Hooked : public testing::PassThroughFiles {
public:
    std::function<bool()> beforeWrite = [] { return true; }; // false: the write fails
    std::function<MoveResult(const std::string&, const std::string&)> move =
        [this](const std::string& f, const std::string& t) { return real.moveNoReplace(f, t); };
    std::string written;
    std::string synced; // what was written up to the last sync
    std::size_t syncedLines = 0;
    std::size_t syncs = 0;

    MoveResult moveNoReplace(const std::string& f, const std::string& t) override {
        return move(f, t);
    }
    bool append(std::FILE* f, std::string_view text, std::string& m) override {
        m = "No space left on device";
        written.append(text);
        return beforeWrite() && real.append(f, text, m);
    }
    bool syncData(std::FILE* f, std::string& m) override {
        m = "Input/output error";
        if (!beforeWrite() || !real.syncData(f, m)) {
            return false;
        }
        ++syncs;
        synced = written;
        for (std::size_t at = 0; (at = written.find("\nmove ", at)) != std::string::npos; ++at) {
            syncedLines += at + 1 >= syncedFrom_ ? 1 : 0;
        }
        syncedFrom_ = written.size();
        return true;
    }

private:
    std::size_t syncedFrom_ = 0;
};

// 50 pictures, each with a RAW companion; the first five share one second.
void fillCard(const std::string& folder) {
    for (int i = 0; i < 50; ++i) {
        const std::string n = std::to_string(i);
        const std::string date = "2012:03:04 05:06:" + std::to_string(10 + std::max(i - 4, 0));
        writeFile(folder + "IMG_" + n + ".JPG", jpegWithExif(date.substr(0, 19), n));
        writeFile(folder + "IMG_" + n + ".CR2", "raw " + n);
    }
}

std::vector<RenameOutcome> renameCard(const std::string& folder, FileSystem& files,
                                      MoveJournal* journal, Placement placement = Placement::move) {
    Recorder recorder;
    FixedPrefix prefix("");
    CompanionIndex companions(files);
    RenameOptions options;
    options.counter = true;
    options.companions = &companions;
    options.journal = journal;
    options.placement = placement;
    RenameCommands commands(
        [&] { return std::make_unique<FolderWalkList>(std::vector{folder}, false, files); }, prefix,
        {}, &recorder, &files);
    commands.setOptions(options);
    commands.renameMarked();
    return recorder.outcomes;
}

long renamed(const std::vector<RenameOutcome>& outcomes) {
    return std::count_if(outcomes.begin(), outcomes.end(),
                         [](auto& o) { return o.kind == RenameKind::renamed; });
}

TEST(Journal, NoMoveBeforeItsLineIsSyncedAndFewSyncs) {
    TempFolder dir;
    TempFolder state;
    fillCard(dir.path());
    const auto before = dir.contents();
    Hooked spy;
    std::size_t moves = 0;
    spy.move = [&](const std::string& from, const std::string& to) {
        EXPECT_LT(moves++, spy.syncedLines) << from << " moved before its line was synced";
        return spy.real.moveNoReplace(from, to);
    };
    {
        RunJournal journal(state.path(), "test", {}, RunJournal::WhenUnwritable::stop, &spy);
        EXPECT_EQ(renamed(renameCard(dir.path(), spy, &journal)), 50);
    }
    EXPECT_EQ(moves, 100u);
    EXPECT_LE(spy.syncs, 8u) << "batches of 1, 2, 4, ... pictures, and the closing line";
    EXPECT_EQ(checksums(dir.contents()), checksums(before));
    // A rerun renames nothing and leaves no journal: undo still finds the real run.
    RunJournal again(state.path(), "rerun");
    renameCard(dir.path(), realFileSystem(), &again);
    EXPECT_EQ(listRuns(realFileSystem(), state.path()).size(), 1u);
    EXPECT_EQ(undoLast(state.path()).size(), 100u);
    EXPECT_EQ(dir.contents(), before);
}

// Another program takes a picture's planned name right before its move: the picture is renamed
// on its own, with its companion, and the pictures planned after it keep theirs.
TEST(Journal, ANameTakenBeforeItsPlannedMoveKeepsTheCompanionsTogether) {
    TempFolder dir;
    TempFolder state;
    fillCard(dir.path());
    Hooked files;
    bool taken = false;
    files.move = [&](const std::string& from, const std::string& to) {
        if (!taken && from == dir.path() + "IMG_20.JPG") {
            taken = true;
            writeFile(to, "another program's file");
        }
        return files.real.moveNoReplace(from, to);
    };
    RunJournal journal(state.path(), "test", {}, RunJournal::WhenUnwritable::stop, &files);
    EXPECT_EQ(renamed(renameCard(dir.path(), files, &journal)), 50);
    ASSERT_TRUE(taken);
    const auto after = dir.contents();
    EXPECT_EQ(after.size(), 101u);
    for (const auto& [name, sum] : after) {
        EXPECT_FALSE(name.starts_with("IMG_")) << name << " was left behind";
    }
}

// Disk full (from then on) and an I/O error (once) at every journal write and every move; after
// each run, undo gives every file its name and bytes back.
TEST(Journal, FaultAtEveryWriteAndMoveIsUndoneExactly) {
    std::map<std::string, std::uint64_t> original;
    for (const bool persistent : {true, false}) {
        for (int at = 0;; ++at) {
            SCOPED_TRACE((persistent ? "disk full at step " : "I/O error at step ") +
                         std::to_string(at));
            TempFolder dir;
            TempFolder state;
            fillCard(dir.path());
            if (original.empty()) {
                original = dir.contents();
            }
            Hooked files;
            int step = 0;
            const auto fails = [&] {
                const int now = step++;
                return persistent ? now >= at : now == at;
            };
            files.beforeWrite = [&] { return !fails(); };
            files.move = [&](const std::string& from, const std::string& to) {
                return fails() ? MoveResult{MoveStatus::failed, "injected"}
                               : files.real.moveNoReplace(from, to);
            };
            {
                RunJournal journal(state.path(), "test", {}, RunJournal::WhenUnwritable::stop,
                                   &files);
                renameCard(dir.path(), files, &journal);
            }
            for (const UndoStep& s : undoLast(state.path())) {
                EXPECT_TRUE(s.kind == UndoKind::reverted || s.kind == UndoKind::notMoved ||
                            s.kind == UndoKind::notAtNewName)
                    << s.newPath;
            }
            ASSERT_EQ(dir.contents(), original);
            if (step <= at) {
                break; // the run ended before the fault: every step has been tried
            }
        }
    }
}

// The checked copies of a batch, the n-th of which fails its check.
class FaultyCopies final : public CheckedCopies {
public:
    FaultyCopies(FileSystem& files, std::function<bool()> fails)
        : files_(files), fails_(std::move(fails)) {}
    void add(const std::string& f, const std::string& t, const std::string& temporary,
             std::vector<Finished>& finished) override {
        failing_.emplace_back(fails_() ? temporary : std::string());
        real_->add(f, t, temporary, finished);
        spoil(finished);
    }
    void finishAll(std::vector<Finished>& finished) override {
        real_->finishAll(finished);
        spoil(finished);
    }

private:
    void spoil(std::vector<Finished>& finished) {
        for (; seen_ < finished.size(); ++seen_) {
            if (!failing_[seen_].empty()) {
                files_.removeFile(failing_[seen_]);
                finished[seen_].result = {CopyStatus::failed, "Input/output error"};
            }
        }
    }
    FileSystem& files_;
    std::function<bool()> fails_;
    std::unique_ptr<CheckedCopies> real_ = realFileSystem().checkedCopies();
    std::vector<std::string> failing_;
    std::size_t seen_ = 0;
};

// Copies made in batches, with an I/O error once at every journal write, copy and naming: no
// copy takes its name before its hash line is synced, none is left under a temporary name, every
// name taken holds its source's bytes, and undo leaves the card as it was.
TEST(Journal, CopiesTakeTheirNamesOnlyCheckedAndHashedUnderEveryFault) {
    for (int at = 0;; ++at) {
        SCOPED_TRACE("I/O error at step " + std::to_string(at));
        TempFolder dir;
        TempFolder state;
        for (int i = 0; i < 6; ++i) {
            const std::string n = std::to_string(i);
            writeFile(dir.path() + "IMG_" + n + ".JPG",
                      jpegWithExif("2012:03:04 05:06:1" + n, std::string(40000, 'a' + i)));
            writeFile(dir.path() + "IMG_" + n + ".CR2", "raw " + n);
        }
        const auto original = dir.contents();
        class Copying : public Hooked {
        public:
            std::function<bool()> fails;
            std::unique_ptr<CheckedCopies> checkedCopies() override {
                return std::make_unique<FaultyCopies>(real, fails);
            }
        } files;
        int step = 0;
        files.fails = [&] { return step++ == at; };
        files.beforeWrite = [&] { return !files.fails(); };
        std::size_t named = 0;
        files.move = [&](const std::string& from, const std::string& to) {
            std::string written; // as the journal writes a path: a backslash doubled
            for (const char c : from) {
                written += c == '\\' ? std::string("\\\\") : std::string(1, c);
            }
            const std::size_t line = files.written.rfind(written);
            EXPECT_NE(line, std::string::npos) << from << " is named but was never written down";
            const std::size_t start = files.written.rfind("\ncopy ", line) + 6;
            const std::string number =
                files.written.substr(start, files.written.find(' ', start) - start);
            EXPECT_NE(files.synced.find("\nhash " + number + " "), std::string::npos) << to;
            ++named;
            return files.fails() ? MoveResult{MoveStatus::failed, "injected"}
                                 : files.real.moveNoReplace(from, to);
        };
        {
            RunJournal journal(state.path(), "test", {}, RunJournal::WhenUnwritable::stop, &files);
            renameCard(dir.path(), files, &journal, Placement::copy);
        }
        std::set<std::uint64_t> sources;
        for (const auto& [name, sum] : original) {
            sources.insert(sum);
        }
        for (const auto& [name, sum] : dir.contents()) {
            EXPECT_FALSE(isTemporaryCopyName(name)) << name;
            EXPECT_EQ(sources.count(sum), 1u) << name << " is not a copy as made";
        }
        undoLast(state.path());
        ASSERT_EQ(dir.contents(), original);
        if (step <= at) {
            EXPECT_EQ(named, 12u);
            break; // the run ended before the fault: every step has been tried
        }
    }
}

// The window's journal fails after its first write: every picture is still renamed, and the run
// is recorded as incomplete.
TEST(Journal, TheWindowRenamesOnAndItsRunIsIncomplete) {
    TempFolder dir;
    TempFolder state;
    fillCard(dir.path());
    Hooked files;
    int writes = 0;
    files.beforeWrite = [&] { return ++writes <= 2; };
    {
        RunJournal journal(state.path(), "window", {}, RunJournal::WhenUnwritable::goOn, &files);
        EXPECT_EQ(renamed(renameCard(dir.path(), files, &journal)), 50);
    }
    JournalRun run;
    ASSERT_TRUE(readRun(realFileSystem(), state.path(),
                        lastUndoableRun(realFileSystem(), state.path()), run));
    EXPECT_FALSE(run.complete);
    EXPECT_EQ(run.moves.size(), 2u) << "the first picture and its companion";
}

TEST(Journal, LiveRunsStayAndSerialsOrderRuns) {
    TempFolder state;
    // Names by the clock say 2099 before 1970; the serials say otherwise.
    writeFile(state.path() + "000010_20990101-000000.journal",
              "shotstamp journal 2\nend complete\n");
    writeFile(state.path() + "000011_19700101-000000.journal",
              "shotstamp journal 2\nend complete\n");
    RunJournal live(state.path(), "live");
    live.note("a", "b", nullptr);
    ASSERT_TRUE(live.commit());
    EXPECT_EQ(live.name().substr(0, 7), "000012_");
    for (std::size_t i = 0; i < kKeptRuns + 2; ++i) {
        RunJournal journal(state.path(), "run");
        journal.note("a", "b", nullptr);
        ASSERT_TRUE(journal.commit());
    }
    const auto runs = listRuns(realFileSystem(), state.path());
    EXPECT_EQ(runs.size(), kKeptRuns + 1);
    EXPECT_EQ(runs.front(), live.name()) << "the live run was pruned";
    EXPECT_TRUE(std::is_sorted(runs.begin(), runs.end()));
}

TEST(Undo, MovesOnlyTheFileTheRunMoved) {
    TempFolder dir;
    TempFolder state;
    for (int i = 1; i <= 3; ++i) {
        writeFile(dir.path() + "P" + std::to_string(i) + ".jpg",
                  jpegWithExif("2011:01:01 00:00:0" + std::to_string(i), std::to_string(i)));
    }
    {
        RunJournal journal(state.path(), "test");
        ASSERT_EQ(renameCard(dir.path(), realFileSystem(), &journal).size(), 3u);
    }
    // A copy of the same bytes under a renamed picture's name, and an edited picture.
    const std::string one = dir.path() + "2011-01-01 000001.jpg";
    writeFile(dir.path() + "copy", testing::readFile(one));
    std::filesystem::remove(one);
    std::filesystem::rename(dir.path() + "copy", one);
    writeFile(dir.path() + "2011-01-01 000002.jpg", "edited");
    const auto before = dir.contents();
    const auto steps = undoLast(state.path()); // last move first
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].kind, UndoKind::reverted);
    EXPECT_EQ(steps[1].kind, UndoKind::otherFile);
    EXPECT_EQ(steps[2].kind, UndoKind::otherFile);
    EXPECT_EQ(dir.contents().count("P3.jpg"), 1u);
    EXPECT_EQ(checksums(dir.contents()), checksums(before));
}

// Journals of the earlier version, a kill that left a claim, a journal that does not parse and
// run names that are paths.
TEST(Undo, OldJournalsClaimsAndUnreadableRuns) {
    TempFolder dir;
    TempFolder state;
    writeFile(dir.path() + "new.jpg", "picture");
    writeFile(state.path() + "20200101-000000-001.journal", "shotstamp journal 1\nmove " +
                                                                dir.path() + "old.jpg\t" +
                                                                dir.path() + "new.jpg\nok\n");
    // Killed after the claim (a 0-byte file) and before the move.
    writeFile(dir.path() + "claimed.jpg", "");
    FileIdentity picture;
    ASSERT_TRUE(realFileSystem().identifyPath(dir.path() + "new.jpg", picture));
    {
        RunJournal killed(state.path(), "killed");
        killed.note(dir.path() + "new.jpg", dir.path() + "claimed.jpg", &picture);
        ASSERT_TRUE(killed.commit());
    }
    writeFile(state.path() + "999999_20200101-000000.journal", "garbage\n");
    std::vector<std::string> unreadable;
    const std::string last = lastUndoableRun(realFileSystem(), state.path(), &unreadable);
    EXPECT_EQ(unreadable, std::vector<std::string>{"999999_20200101-000000"});
    const auto claim = undoLast(state.path());
    ASSERT_EQ(claim.size(), 1u);
    EXPECT_EQ(claim[0].kind, UndoKind::notMoved);
    EXPECT_EQ(dir.contents().count("claimed.jpg"), 0u) << "the claim was left";
    JournalRun old;
    ASSERT_TRUE(readRun(realFileSystem(), state.path(), "20200101-000000-001", old));
    undoRun(old, realFileSystem(), nullptr,
            [](const UndoStep& s) { EXPECT_EQ(s.kind, UndoKind::unidentified); });
    EXPECT_EQ(dir.contents().count("new.jpg"), 1u);
    EXPECT_FALSE(isRunName("../x"));
    EXPECT_FALSE(readRun(realFileSystem(), state.path(), "../" + last, old));
}

// Another program swaps a file onto the picture's name right before the move: the file is moved
// back, read again, and no picture carries a date read from another.
TEST(Identity, ASwapBeforeTheMoveNeverGivesAnotherPicturesDate) {
    TempFolder dir;
    writeFile(dir.path() + "A.jpg", jpegWithExif("2001:01:01 00:00:01", "A"));
    writeFile(dir.path() + "B.jpg", jpegWithExif("2002:02:02 00:00:02", "B"));
    const auto before = dir.contents();
    Hooked files;
    bool swapped = false;
    files.move = [&](const std::string& from, const std::string& to) {
        if (!swapped && from == dir.path() + "A.jpg") {
            swapped = true;
            files.real.moveNoReplace(from, dir.path() + "A.away");
            files.real.moveNoReplace(dir.path() + "B.jpg", from);
        }
        return files.real.moveNoReplace(from, to);
    };
    const auto outcomes = renameCard(dir.path(), files, nullptr);
    ASSERT_EQ(outcomes.size(), 2u);
    // The file found under A's name is read again and named after its own date.
    EXPECT_EQ(outcomes[0].kind, RenameKind::renamed);
    const auto after = dir.contents();
    EXPECT_EQ(after.count("2001-01-01 000001.jpg"), 0u);
    EXPECT_EQ(after.at("2002-02-02 000002.jpg"), before.at("B.jpg"));
    EXPECT_EQ(after.at("A.away"), before.at("A.jpg"));
    EXPECT_EQ(checksums(after), checksums(before));
}

// A file system that ignores letter case, as FAT or NTFS do, over the real folder.
class CaseBlind final : public Hooked {
public:
    static std::string lower(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }
    std::string resolve(const std::string& path) {
        const std::size_t cut = path.find_last_of("/\\") + 1;
        files::FolderListing entries;
        real.listFolder(path.substr(0, cut), entries);
        for (const auto e : entries) {
            if (const std::string name(e.name); lower(name) == lower(path.substr(cut))) {
                return path.substr(0, cut) + name;
            }
        }
        return path;
    }
    CaseBlind() {
        move = [this](const std::string& from, const std::string& to) {
            return real.exists(resolve(to)) ? MoveResult{MoveStatus::targetExists, {}}
                                            : real.moveNoReplace(resolve(from), to);
        };
    }
    bool exists(const std::string& p) override { return real.exists(resolve(p)); }
    bool identifyPath(const std::string& p, FileIdentity& id) override {
        return real.identifyPath(resolve(p), id);
    }
};

TEST(Identity, CaseOnlyRenameOnACaseBlindFileSystem) {
    TempFolder dir;
    writeFile(dir.path() + "2003-03-03 030303.JPG", jpegWithExif("2003:03:03 03:03:03", "c"));
    writeFile(dir.path() + "2003-03-03 030303.CR2", "raw");
    const auto before = dir.contents();
    CaseBlind files;
    TempFolder state;
    RunJournal journal(state.path(), "test", {}, RunJournal::WhenUnwritable::stop, &files);
    const auto outcomes = renameCard(dir.path(), files, &journal);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].kind, RenameKind::renamed) << outcomes[0].systemMessage;
    EXPECT_EQ(outcomes[0].newPath, dir.path() + "2003-03-03 030303.jpg");
    EXPECT_EQ(checksums(dir.contents()), checksums(before));
}

} // namespace
} // namespace shotstamp

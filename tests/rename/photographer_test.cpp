// The photographers' options on real folders, on every back end: bursts, companions, the clock
// shift, and the journal with undo. Every run and every undo keeps the folder's contents.
#include "rename/clock_shift.h"
#include "rename/companions.h"
#include "rename/folder_walk.h"
#include "rename/journal.h"
#include "rename_test_support.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace shotstamp {
namespace {

using testing::checksums;
using testing::put16;
using testing::put32;
using testing::TempFolder;
using testing::writeFile;

// A JPEG with DateTimeOriginal and, when given, SubSecTimeOriginal (at most 3 digits).
std::string jpegWithSubseconds(std::string_view date, std::string_view subseconds) {
    std::string tiff = "II";
    put16(tiff, 42);
    put32(tiff, 8);
    put16(tiff, 1); // IFD0 at 8 points at the Exif directory at 26
    put16(tiff, 0x8769);
    put16(tiff, 4);
    put32(tiff, 1);
    put32(tiff, 26);
    put32(tiff, 0);
    put16(tiff, 2); // Exif directory at 26; the date follows at 56
    put16(tiff, 0x9003);
    put16(tiff, 2);
    put32(tiff, static_cast<std::uint32_t>(date.size() + 1));
    put32(tiff, 56);
    put16(tiff, 0x9291);
    put16(tiff, 2);
    put32(tiff, static_cast<std::uint32_t>(subseconds.size() + 1));
    tiff.append(subseconds).append(4 - subseconds.size(), '\0');
    put32(tiff, 0);
    tiff.append(date).push_back('\0');
    return "\xFF\xD8" + testing::segment(0xE1, std::string("Exif\0\0", 6) + tiff) +
           testing::segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6)) + "\x12\xFF\xD9";
}

// Renames every picture of the folder, in name order, as shotstamp-cli does.
std::vector<RenameOutcome> renameFolder(const std::string& folder, RenameOptions options,
                                        bool companionsToo = false,
                                        FileSystem& files = realFileSystem()) {
    testing::Recorder recorder;
    FixedPrefix prefix("");
    CompanionIndex companions(files);
    options.companions = companionsToo ? &companions : nullptr;
    RenameCommands commands(
        [&] { return std::make_unique<FolderWalkList>(std::vector{folder}, false, files); }, prefix,
        {}, &recorder, &files);
    commands.setOptions(options);
    commands.renameMarked();
    return recorder.outcomes;
}

std::vector<std::string> namesOf(const TempFolder& dir) {
    std::vector<std::string> names;
    for (const auto& [name, sum] : dir.contents()) {
        names.push_back(name);
    }
    return names;
}

TEST(Burst, TwelveInOneSecond) {
    const struct {
        const char* what;
        RenameOptions options;
        bool companions;
        int renamed;
        std::string nameOfFifth; // what IMG_05.JPG becomes
    } runs[] = {
        {"plain", {}, false, 1, "IMG_05.JPG"},
        {"--subseconds", {.subseconds = true}, false, 12, "2005-12-30 205732.40.jpg"},
        {"--counter", {.counter = true}, false, 12, "2005-12-30 205732-5.jpg"},
        {"--counter --companions", {.counter = true}, true, 12, "2005-12-30 205732-5.jpg"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.what);
        TempFolder dir;
        for (int i = 1; i <= 12; ++i) {
            char n[3];
            std::snprintf(n, sizeof n, "%02d", i);
            writeFile(dir.path() + "IMG_" + std::string(n) + ".JPG",
                      jpegWithSubseconds("2005:12:30 20:57:32", std::to_string(i * 8)));
        }
        const auto before = dir.contents();
        const auto outcomes = renameFolder(dir.path(), run.options, run.companions);
        ASSERT_EQ(outcomes.size(), 12u);
        EXPECT_EQ(std::count_if(outcomes.begin(), outcomes.end(),
                                [](auto& o) { return o.kind == RenameKind::renamed; }),
                  run.renamed);
        EXPECT_EQ(dir.contents().at(run.nameOfFifth), before.at("IMG_05.JPG"));
        EXPECT_EQ(checksums(dir.contents()), checksums(before));
    }
}

TEST(ClockShift, CalendarArithmetic) {
    const struct {
        const char* date;
        const char* shift;
        const char* expected;
    } cases[] = {
        {"2005:12:30 23:30:00", "01:00", "2005:12:31 00:30:00"},         // midnight
        {"2005:04:30 22:00:00", "02:00:01", "2005:05:01 00:00:01"},      // month end
        {"2024:02:28 12:00:00", "1 00:00:00", "2024:02:29 12:00:00"},    // 29 February
        {"2023:02:28 12:00:00", "1 00:00:00", "2023:03:01 12:00:00"},    // no 29th in 2023
        {"2024:03:01 00:10:00", "-00:20", "2024:02:29 23:50:00"},        // back into it
        {"2005:12:31 23:59:59", "00:00:01", "2006:01:01 00:00:00"},      // year end
        {"2006:01:01 01:00:00", "-400 00:00:00", "2004:11:27 01:00:00"}, // across a leap year
    };
    for (const auto& c : cases) {
        std::int64_t seconds = 0;
        std::string shifted;
        ASSERT_TRUE(parseClockShift(c.shift, seconds)) << c.shift;
        EXPECT_TRUE(shiftExifDateTime(c.date, seconds, shifted));
        EXPECT_EQ(shifted, c.expected) << c.date << " " << c.shift;
    }
    std::int64_t seconds = 7;
    for (const char* bad :
         {"", "1", "1:5", "25 01:00", "1 01:00", "01:60", "01:00:00:00", "x1:00"}) {
        EXPECT_FALSE(parseClockShift(bad, seconds)) << bad;
    }
    std::string out;
    EXPECT_FALSE(shiftExifDateTime("2005:02:30 10:00:00", 60, out));
    EXPECT_FALSE(shiftExifDateTime("9999:12:31 23:00:00", 3600, out));
}

// Refuses to move one named file, as a folder that denies it would.
class RefusingFileSystem final : public FileSystem {
public:
    explicit RefusingFileSystem(std::string refused) : refused_(std::move(refused)) {}
    FileHandle openForReading(const std::string& path, std::string& message) override {
        return realFileSystem().openForReading(path, message);
    }
    MoveResult moveNoReplace(const std::string& from, const std::string& to) override {
        if (from.size() >= refused_.size() &&
            from.compare(from.size() - refused_.size(), refused_.size(), refused_) == 0) {
            return {MoveStatus::failed, "denied"};
        }
        return realFileSystem().moveNoReplace(from, to);
    }
    std::unique_ptr<NameEnumeration> enumerateJpegs(const std::string& folder) override {
        return realFileSystem().enumerateJpegs(folder);
    }
    bool exists(const std::string& path) override { return realFileSystem().exists(path); }

private:
    std::string refused_;
};

TEST(Companions, MoveAllOrNothing) {
    TempFolder dir;
    const RenameOptions options;
    writeFile(dir.path() + "IMG_1.JPG", jpegWithSubseconds("2010:07:01 10:00:00", "5"));
    for (const char* name :
         {"IMG_1.CR2", "img_1.xmp", "IMG_1.JPG.xmp", "IMG_1.MOV", "IMG_10.CR2"}) {
        writeFile(dir.path() + name, name);
    }
    writeFile(dir.path() + "2010-07-01 100000.CR2", "the RAW's new name is taken");
    const auto before = dir.contents();
    auto outcomes = renameFolder(dir.path(), options, true);
    EXPECT_EQ(outcomes.at(0).kind, RenameKind::nameExists);
    EXPECT_EQ(dir.contents(), before);

    // A companion that cannot move: those moved already and the picture go back.
    ASSERT_TRUE(files::removeFile(dir.path() + "2010-07-01 100000.CR2"));
    const auto unblocked = dir.contents();
    RefusingFileSystem refusing("IMG_1.MOV");
    outcomes = renameFolder(dir.path(), options, true, refusing);
    EXPECT_EQ(outcomes.at(0).kind, RenameKind::renameRefused);
    EXPECT_EQ(dir.contents(), unblocked);

    outcomes = renameFolder(dir.path(), options, true);
    EXPECT_EQ(outcomes.at(0).companions.size(), 4u);
    EXPECT_EQ(namesOf(dir),
              (std::vector<std::string>{"2010-07-01 100000.CR2", "2010-07-01 100000.MOV",
                                        "2010-07-01 100000.jpg", "2010-07-01 100000.jpg.xmp",
                                        "2010-07-01 100000.xmp", "IMG_10.CR2"}));
    EXPECT_EQ(checksums(dir.contents()), checksums(unblocked));
}

// A run journaled, then undone after the user moved one file on and took another's old name;
// and a run killed after writing down a move it never made.
TEST(Undo, RevertsWhatItCanAndReportsTheRest) {
    TempFolder dir;
    TempFolder state;
    for (int i = 1; i <= 4; ++i) {
        writeFile(dir.path() + "P" + std::to_string(i) + ".jpg",
                  jpegWithSubseconds("2011:01:01 00:00:0" + std::to_string(i), ""));
    }
    const auto before = dir.contents();
    RunJournal journal(state.path(), "test");
    RenameOptions options;
    options.journal = &journal;
    EXPECT_EQ(renameFolder(dir.path(), options).size(), 4u);
    // Killed half-way: the next move was written down but never made.
    journal.note(dir.path() + "later.jpg", dir.path() + "never.jpg", nullptr);
    ASSERT_TRUE(journal.commit());
    ASSERT_TRUE(realFileSystem()
                    .moveNoReplace(dir.path() + "2011-01-01 000002.jpg", dir.path() + "mine.jpg")
                    .status == MoveStatus::moved);
    writeFile(dir.path() + "P3.jpg", "the user's new file");

    JournalRun run;
    ASSERT_EQ(lastUndoableRun(realFileSystem(), state.path()), journal.name());
    ASSERT_TRUE(readRun(realFileSystem(), state.path(), journal.name(), run));
    EXPECT_EQ(run.moves.size(), 5u);
    std::vector<std::pair<UndoKind, std::string>> steps;
    RunJournal undoJournal(state.path(), "undo", run.name);
    undoRun(run, realFileSystem(), &undoJournal, [&](const UndoStep& step) {
        steps.emplace_back(step.kind, step.oldPath.substr(dir.path().size()));
    });
    const std::vector<std::pair<UndoKind, std::string>> expected = {
        {UndoKind::unidentified, "later.jpg"},
        {UndoKind::reverted, "P4.jpg"},
        {UndoKind::oldNameTaken, "P3.jpg"},
        {UndoKind::notAtNewName, "P2.jpg"},
        {UndoKind::reverted, "P1.jpg"}};
    EXPECT_EQ(steps, expected);
    auto contents = dir.contents();
    EXPECT_EQ(contents.at("P1.jpg"), before.at("P1.jpg"));
    EXPECT_EQ(contents.at("mine.jpg"), before.at("P2.jpg"));
    EXPECT_EQ(contents.at("2011-01-01 000003.jpg"), before.at("P3.jpg"));
    // The undo is a run of its own and the undone run is no longer the last to undo.
    EXPECT_EQ(lastUndoableRun(realFileSystem(), state.path()), "");
    EXPECT_EQ(listRuns(realFileSystem(), state.path()).size(), 2u);
}

TEST(Journal, KeepsTheLatestRuns) {
    TempFolder state;
    for (std::size_t i = 0; i < kKeptRuns + 2; ++i) {
        RunJournal journal(state.path(), "run " + std::to_string(i));
        journal.result(journal.note("a", "b", nullptr), false);
        ASSERT_TRUE(journal.commit());
    }
    const auto runs = listRuns(realFileSystem(), state.path());
    ASSERT_EQ(runs.size(), kKeptRuns);
    JournalRun oldest;
    ASSERT_TRUE(readRun(realFileSystem(), state.path(), runs.front(), oldest));
    EXPECT_EQ(oldest.startedBy, "run 2");
}

} // namespace
} // namespace shotstamp

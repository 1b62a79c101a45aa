// Which files a run handles, which dates name a picture, and which files move with it: on real
// folders, where no run changes the multiset of the folder's checksums.
#include "rename/companions.h"
#include "rename/folder_walk.h"
#include "rename/marked_file_list.h"
#include "rename/rename_commands.h"
#include "rename_test_support.h"

#include <gtest/gtest.h>

namespace shotstamp {
namespace {

using testing::checkPictureCase;
using testing::checksums;
using testing::jpegWithExif;
using testing::Recorder;
using testing::TempFolder;
using testing::writeFile;

// The real files, but a folder named "locked" cannot be listed.
class LockedFolderFiles final : public FileSystem {
public:
    FileHandle openForReading(const std::string& path, std::string& message) override {
        return real().openForReading(path, message);
    }
    MoveResult moveNoReplace(const std::string& from, const std::string& to) override {
        return real().moveNoReplace(from, to);
    }
    std::unique_ptr<NameEnumeration> enumerateJpegs(const std::string& folder) override {
        return real().enumerateJpegs(folder);
    }
    bool exists(const std::string& path) override { return real().exists(path); }
    bool identifyPath(const std::string& path, FileIdentity& identity) override {
        return real().identifyPath(path, identity);
    }
    bool listFolder(const std::string& folder, files::FolderListing& entries) override {
        return folder.find("locked") == std::string::npos && real().listFolder(folder, entries);
    }

private:
    static FileSystem& real() { return realFileSystem(); }
};

struct WalkRun {
    Recorder recorder;
    std::vector<std::string> skipped;
};

// Renames what the operands name, the way the command-line tool walks them.
void renameWalk(const std::vector<std::string>& operands, FileSystem& files, WalkRun& run,
                const RenameOptions& options = {}) {
    FixedPrefix prefix("");
    RenameCommands commands(
        [&] {
            auto walk = std::make_unique<FolderWalkList>(operands, true, files);
            walk->onSkipped([&run](const std::string& path, const std::string& reason) {
                run.skipped.push_back(path + ": " + reason);
            });
            return walk;
        },
        prefix, [] {}, &run.recorder, &files);
    commands.setOptions(options);
    commands.renameMarked();
}

TEST(Names, EachFileIsHandledOnceAndWhatCannotBeWalkedIsReported) {
    TempFolder dir;
    testing::makeFolder(dir.path() + "locked");
    writeFile(dir.path() + "a.jpg", jpegWithExif("2005:12:30 20:57:32", "a"));
    writeFile(dir.path() + "b.jpg", jpegWithExif("2005:12:30 20:57:33", "b"));
    const auto before = dir.contents();
    LockedFolderFiles files;
    WalkRun run;
    // a.jpg is named twice and renamed before its folder is listed under its new name.
    renameWalk({dir.path() + "a.jpg", dir.path() + "./a.jpg", dir.path()}, files, run);
    ASSERT_EQ(run.recorder.outcomes.size(), 2u);
    EXPECT_EQ(run.recorder.outcomes[0].kind, RenameKind::renamed);
    EXPECT_EQ(run.recorder.outcomes[1].oldPath, dir.path() + "b.jpg");
    EXPECT_EQ(run.skipped, std::vector<std::string>{dir.path() + "locked" + testing::separator() +
                                                    ": cannot read folder"});
    EXPECT_EQ(checksums(dir.contents()), checksums(before));
}

// Windows matches "*.jpg" against 8.3 short names too (LONGER~1.JPG, IMG~1.JPG); Wine does so.
TEST(Names, AllInPathTakesOnlyLongNamesEndingInJpg) {
    TempFolder dir;
    for (const char* name : {"a.jpg", "IMG.JPG_original", "longername.jpgx", "x.jpeg"}) {
        writeFile(dir.path() + name, jpegWithExif("2005:12:30 20:57:32", name));
    }
    const auto before = dir.contents();
    FixedPrefix prefix("");
    Recorder recorder;
    RenameCommands commands(
        [&] { return std::make_unique<ArgumentEntryList>(std::vector{dir.path() + "a.jpg"}); },
        prefix, [] {}, &recorder);
    commands.renameAllInPath();
    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_EQ(recorder.outcomes[0].oldPath, dir.path() + "a.jpg");
    EXPECT_EQ(checksums(dir.contents()), checksums(before));
}

TEST(Names, CounterOnARerunRenumbersNothing) {
    TempFolder dir;
    for (const char* name : {"x.jpg", "y.jpg", "z.jpg"}) {
        writeFile(dir.path() + name, jpegWithExif("2005:12:30 20:57:32", name));
    }
    RenameOptions counter;
    counter.counter = true;
    WalkRun first;
    renameWalk({dir.path()}, realFileSystem(), first, counter);
    const auto renamed = dir.contents();
    ASSERT_EQ(renamed.count("2005-12-30 205732-3.jpg"), 1u);
    std::remove((dir.path() + "2005-12-30 205732.jpg").c_str()); // the burst's first is gone
    WalkRun second;
    renameWalk({dir.path()}, realFileSystem(), second, counter);
    for (const RenameOutcome& outcome : second.recorder.outcomes) {
        EXPECT_EQ(outcome.kind, RenameKind::alreadyNamed) << outcome.oldPath;
    }
    EXPECT_EQ(second.recorder.outcomes.size(), 2u);
}

TEST(Dates, ImpossibleDatesKeepThePictureAsUnusable) {
    const char* dates[] = {"2015:13:45 25:61:61",      "2005:02:30 12:00:00", "2005:12:30 24:00:00",
                           "2005:12:30 20:57:60",      "2005:12:3O 20:57:32", "2005:12:30 20:5 :32",
                           "2005:12:30 20:57:\x7F\xFF"};
    for (const char* date : dates) {
        checkPictureCase({date, "p.jpg", jpegWithExif(date), RenameKind::unusableDate, ""});
    }
    checkPictureCase({"NUL inside", "p.jpg",
                      jpegWithExif(std::string_view("2005:12:30\0 20:57:32", 20)),
                      RenameKind::unusableDate, ""});
    checkPictureCase({"a day that exists", "p.jpg", jpegWithExif("2004:02:29"), RenameKind::renamed,
                      "2004-02-29.jpg"});
}

TEST(Dates, AnExifBlockPastTheKeptSegmentsIsNotMissing) {
    // Twenty kept APP2 segments, then the EXIF block.
    std::string late = jpegWithExif("2005:12:30 20:57:32");
    std::string lead;
    for (int i = 0; i < 20; ++i) {
        lead += testing::segment(0xE2, "kept");
    }
    late.insert(2, lead);
    checkPictureCase({"window", "p.jpg", late, RenameKind::exifPastKeptSections, ""});
    TempFolder dir;
    writeFile(dir.path() + "p.jpg", late);
    RenameOptions lookOn;
    lookOn.readPastSections = true;
    WalkRun run;
    renameWalk({dir.path() + "p.jpg"}, realFileSystem(), run, lookOn);
    ASSERT_EQ(run.recorder.outcomes.size(), 1u);
    EXPECT_EQ(run.recorder.outcomes[0].kind, RenameKind::renamed);
    EXPECT_EQ(run.recorder.outcomes[0].newPath, dir.path() + "2005-12-30 205732.jpg");
}

TEST(Companions, AFileTwoPicturesCouldClaimStaysAndAMovedOneIsNotGivenAgain) {
    TempFolder dir;
    writeFile(dir.path() + "b.jpg", jpegWithExif("2006:01:01 10:00:00", "b"));
    writeFile(dir.path() + "b.CR2", "raw of b");
    writeFile(dir.path() + "b.JPG.xmp", "sidecar of b");
    writeFile(dir.path() + "x.cr2", "raw of x");
    const bool caseSensitive = !std::filesystem::exists(dir.path() + "B.CR2");
    if (caseSensitive) {
        writeFile(dir.path() + "IMG_3.JPG", jpegWithExif("2005:12:30 20:57:32", "3"));
        writeFile(dir.path() + "IMG_3.jpg", jpegWithExif("2005:12:30 20:57:33", "3b"));
        writeFile(dir.path() + "IMG_3.CR2", "raw of both");
        // Its stem is the name b's RAW takes: that RAW is never its companion.
        writeFile(dir.path() + "2006-01-01 100000.JPG", jpegWithExif("2007:01:01 10:00:00"));
    }
    const auto before = dir.contents();
    CompanionIndex index(realFileSystem());
    std::vector<std::string> shared;
    index.onShared([&](const std::string& path) { shared.push_back(path); });
    RenameOptions options;
    options.companions = &index;
    WalkRun run;
    renameWalk({dir.path()}, realFileSystem(), run, options);

    const auto after = dir.contents();
    EXPECT_EQ(after.count("2006-01-01 100000.CR2"), 1u);
    EXPECT_EQ(after.count("2006-01-01 100000.jpg.xmp"), 1u);
    EXPECT_EQ(after.count("x.cr2"), 1u);
    if (caseSensitive) {
        EXPECT_EQ(shared, std::vector<std::string>{dir.path() + "IMG_3.CR2"});
        EXPECT_EQ(after.count("IMG_3.CR2"), 1u);
        EXPECT_EQ(after.count("2007-01-01 100000.jpg"), 1u);
    }
    EXPECT_EQ(checksums(after), checksums(before));
}

} // namespace
} // namespace shotstamp

// One picture renamed, and the two commands, on real files in temporary folders, on every
// platform's file back end. Every test compares the folder's contents before and after: no
// picture's bytes change and nothing is lost or replaced. Names that only a POSIX file system can
// hold, links and permissions are in rename_commands_posix_test.cpp.
#include "rename/marked_file_list.h"
#include "rename/rename_commands.h"
#include "rename_test_support.h"
#include "tests/support/test_files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace shotstamp {
namespace {

using testing::checkPictureCase;
using testing::checksums;
using testing::CountingPrefix;
using testing::jpegWithExif;
using testing::makeFolder;
using testing::PictureCase;
using testing::Recorder;
using testing::renameOne;
using testing::separator;
using testing::TempFolder;
using testing::writeFile;

TEST(RenamePicture, DecidesByTheDateAndKeepsEverythingElse) {
    const PictureCase cases[] = {
        {"standard date", "IMG_0001.JPG", jpegWithExif("2005:12:30 20:57:32"), RenameKind::renamed,
         "2005-12-30 205732.jpg"},
        {"three colons", "a.jpg", jpegWithExif("2005:12:30 20:57"), RenameKind::renamed,
         "2005-12-30 20-57.jpg"},
        // Double quotes are not allowed in a Windows name; the POSIX tests have them.
        {"spaces and quotes", "my 'best' one (2).jpg", jpegWithExif("2001:02:03 04:05:06"),
         RenameKind::renamed, "2001-02-03 040506.jpg"},
        {"no DateTimeOriginal", "b.jpg", jpegWithExif(std::nullopt), RenameKind::noDate, ""},
        {"blank date", "c.jpg", jpegWithExif("    :  :     :  :  "), RenameKind::unusableDate, ""},
        {"zero date", "d.jpg", jpegWithExif("0000:00:00 00:00:00"), RenameKind::unusableDate, ""},
        {"date with ../", "e.jpg", jpegWithExif("../2005:12:30"), RenameKind::unusableDate, ""},
        {"date with /", "f.jpg", jpegWithExif("2005/12/30 20:57:32"), RenameKind::unusableDate, ""},
        {"date with \\", "f2.jpg", jpegWithExif("2005\\12\\30 20:57:32"), RenameKind::unusableDate,
         ""},
        {"JPEG without EXIF", "g.jpg", testing::jpegWithoutExif(), RenameKind::noExif, ""},
        {"not a JPEG", "h.jpg", "GIF89a not a picture", RenameKind::notJpeg, ""},
        {"already named", "2005-01-01 000001.jpg", jpegWithExif("2005:01:01 00:00:01"),
         RenameKind::alreadyNamed, ""},
    };
    for (const PictureCase& c : cases) {
        checkPictureCase(c);
    }
}

TEST(RenamePicture, NeverReplacesAndReportsWhy) {
    TempFolder dir;
    const std::string date = "2010:10:10 10:10:10";
    writeFile(dir.path() + "first.jpg", jpegWithExif(date, "1"));
    writeFile(dir.path() + "second.jpg", jpegWithExif(date, "2"));
    writeFile(dir.path() + "Trip 2011-11-11 111111.jpg", "someone else's file");
    writeFile(dir.path() + "third.jpg", jpegWithExif("2011:11:11 11:11:11"));
    makeFolder(dir.path() + "x.jpg");
    const auto before = dir.contents();

    EXPECT_EQ(renameOne(dir.path(), "first.jpg").kind, RenameKind::renamed);
    EXPECT_EQ(renameOne(dir.path(), "second.jpg").kind, RenameKind::nameExists);
    EXPECT_EQ(renameOne(dir.path(), "third.jpg", "Trip ").kind, RenameKind::nameExists);
    EXPECT_EQ(renameOne(dir.path(), "x.jpg").kind, RenameKind::cannotOpen);
    EXPECT_EQ(renameOne(dir.path(), "missing.jpg").kind, RenameKind::cannotOpen);
    // A prefix that makes the name too long: the system refuses and says why.
    const RenameOutcome tooLong = renameOne(dir.path(), "third.jpg", std::string(300, 'p'));
    EXPECT_EQ(tooLong.kind, RenameKind::renameRefused);
    EXPECT_FALSE(tooLong.systemMessage.empty());

    const auto after = dir.contents();
    EXPECT_EQ(checksums(after), checksums(before));
    EXPECT_EQ(after.count("2010-10-10 101010.jpg"), 1u);
    EXPECT_EQ(after.count("second.jpg"), 1u);
    EXPECT_EQ(after.at("Trip 2011-11-11 111111.jpg"), before.at("Trip 2011-11-11 111111.jpg"));
}

TEST(RenamePicture, PrefixIsUsedAsTyped) {
    // A separator in the prefix names a folder relative to the picture's: the user typed it.
    TempFolder dir;
    makeFolder(dir.path() + "sub");
    writeFile(dir.path() + "a.jpg", jpegWithExif("2014:01:01 01:01:01"));
    EXPECT_EQ(renameOne(dir.path(), "a.jpg", "nosuch" + separator()).kind,
              RenameKind::renameRefused);
    EXPECT_EQ(renameOne(dir.path(), "a.jpg", "sub" + separator()).kind, RenameKind::renamed);
    EXPECT_EQ(testing::readFile(dir.path() + "sub" + separator() + "2014-01-01 010101.jpg"),
              jpegWithExif("2014:01:01 01:01:01"));
    EXPECT_EQ(dir.contents().count("a.jpg"), 0u);
}

// The commands against real folders: the order of handling, the prefix read per picture, the
// folder of "All in Path", and the closing callback.
class RenameCommandsTest : public ::testing::Test {
protected:
    std::string picture(const std::string& folder, const std::string& name, int second) {
        char date[32];
        std::snprintf(date, sizeof date, "2020:01:01 00:%02d:%02d", second / 60, second % 60);
        writeFile(folder + name, jpegWithExif(date, name));
        return folder + name;
    }

    // prefixSource null means the counting prefix.
    RenameCommands commands(std::vector<std::string> arguments, FileSystem* fileSystem = nullptr,
                            PrefixSource* prefixSource = nullptr) {
        return RenameCommands(
            [this, arguments] {
                ++listsMade;
                return std::make_unique<ArgumentEntryList>(arguments);
            },
            prefixSource != nullptr ? *prefixSource : prefix, [this] { ++closes; }, &recorder,
            fileSystem);
    }

    std::vector<std::string> handled() const {
        std::vector<std::string> out;
        for (const RenameOutcome& o : recorder.outcomes) {
            out.push_back(o.oldPath);
        }
        return out;
    }

    TempFolder dir;
    CountingPrefix prefix;
    Recorder recorder;
    int listsMade = 0;
    int closes = 0;
};

TEST_F(RenameCommandsTest, JustMarkedHandlesEntriesInOrderAndCloses) {
    const std::string a = picture(dir.path(), "a.jpg", 1);
    const std::string b = picture(dir.path(), "b.JPG", 2);
    const auto before = dir.contents();
    auto run = commands({b, "notes.txt", dir.path() + "gone.jpg", a});
    run.renameMarked();
    EXPECT_EQ(handled(), (std::vector<std::string>{b, dir.path() + "gone.jpg", a}));
    ASSERT_EQ(recorder.outcomes.size(), 3u);
    EXPECT_EQ(recorder.outcomes[0].newPath, dir.path() + "P1 2020-01-01 000002.jpg");
    EXPECT_EQ(recorder.outcomes[2].newPath, dir.path() + "P2 2020-01-01 000001.jpg");
    EXPECT_EQ(prefix.reads, 2); // only for pictures that reach the rename
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(checksums(dir.contents()), checksums(before));

    // A second run keeps the consumed list: nothing more is handled.
    run.renameMarked();
    EXPECT_EQ(listsMade, 1);
    EXPECT_EQ(recorder.outcomes.size(), 3u);
    EXPECT_EQ(closes, 2);
}

TEST_F(RenameCommandsTest, EmptyCommandLineStillCloses) {
    auto run = commands({});
    run.renameMarked();
    run.renameAllInPath();
    EXPECT_TRUE(recorder.outcomes.empty());
    EXPECT_EQ(closes, 2);
}

TEST_F(RenameCommandsTest, AllInPathTakesOnlyTheFirstEntrysFolder) {
    TempFolder other;
    picture(dir.path(), "a.jpg", 1);
    picture(dir.path(), "B.JpG", 2);
    makeFolder(dir.path() + "folder.jpg");
    writeFile(dir.path() + "notes.txt", "not a match");
    writeFile(dir.path() + "plain.jpg", "not a JPEG");
    const std::string elsewhere = picture(other.path(), "c.jpg", 3);
    const auto before = dir.contents();

    auto run = commands({dir.path() + "absent.jpg", elsewhere});
    run.renameAllInPath();
    EXPECT_EQ(closes, 1);
    const auto after = dir.contents();
    EXPECT_EQ(checksums(after), checksums(before));
    EXPECT_EQ(after.count("notes.txt") + after.count("plain.jpg") + after.count("folder.jpg"), 3u);
    EXPECT_EQ(recorder.outcomes.size(), 4u);
    EXPECT_EQ(other.contents().count("c.jpg"), 1u);
}

// Deletes one picture the moment the enumeration hands out its first name.
class VanishingFileSystem final : public FileSystem {
public:
    explicit VanishingFileSystem(std::string victim) : victim_(std::move(victim)) {}
    FileHandle openForReading(const std::string& path, std::string& message) override {
        std::error_code ignored;
        std::filesystem::remove(victim_, ignored);
        return realFileSystem().openForReading(path, message);
    }
    MoveResult moveNoReplace(const std::string& from, const std::string& to) override {
        return realFileSystem().moveNoReplace(from, to);
    }
    std::unique_ptr<NameEnumeration> enumerateJpegs(const std::string& folder) override {
        return realFileSystem().enumerateJpegs(folder);
    }
    bool exists(const std::string& path) override { return realFileSystem().exists(path); }

private:
    std::string victim_;
};

TEST_F(RenameCommandsTest, FileThatVanishesAfterEnumerationIsSkipped) {
    // Names that sort after the new ones, so that a walk in name order (NTFS) does not meet a
    // renamed picture again.
    picture(dir.path(), "x.jpg", 1);
    picture(dir.path(), "y.jpg", 2);
    std::vector<std::string> names;
    auto walk = realFileSystem().enumerateJpegs(dir.path());
    ASSERT_NE(walk, nullptr);
    for (std::string n; walk->next(n);) {
        names.push_back(n);
    }
    walk.reset();
    ASSERT_EQ(names.size(), 2u);
    // The second name the walk hands out is gone by the time it is opened.
    VanishingFileSystem vanishing(dir.path() + names[1]);
    auto run = commands({dir.path() + "x.jpg"}, &vanishing);
    run.renameAllInPath();
    ASSERT_EQ(recorder.outcomes.size(), 2u);
    EXPECT_EQ(recorder.outcomes[0].kind, RenameKind::renamed);
    EXPECT_EQ(recorder.outcomes[1].kind, RenameKind::cannotOpen);
    EXPECT_EQ(recorder.outcomes[1].oldPath, dir.path() + names[1]);
    EXPECT_EQ(dir.contents().size(), 1u);
}

TEST_F(RenameCommandsTest, AllInPathRenamesFiveHundredPictures) {
    for (int i = 0; i < 500; ++i) {
        picture(dir.path(), "IMG_" + std::to_string(i) + ".jpg", i);
    }
    const auto before = dir.contents();
    ASSERT_EQ(before.size(), 500u);
    // One prefix for the whole walk: a walk that meets a renamed picture again under its new
    // name (Windows walks while renaming) finds it already named.
    FixedPrefix fixed("P ");
    commands({dir.path() + "IMG_0.jpg"}, nullptr, &fixed).renameAllInPath();
    const auto after = dir.contents();
    EXPECT_EQ(checksums(after), checksums(before));
    int renamed = 0;
    for (const RenameOutcome& o : recorder.outcomes) {
        renamed += o.kind == RenameKind::renamed ? 1 : 0;
        EXPECT_TRUE(o.kind == RenameKind::renamed || o.kind == RenameKind::alreadyNamed)
            << o.oldPath << ": " << reasonText(o.kind);
    }
    EXPECT_EQ(renamed, 500);
    for (const auto& [name, sum] : after) {
        EXPECT_EQ(name.rfind("P 2020-01-01 00", 0), 0u) << name;
    }
}

TEST_F(RenameCommandsTest, DryRunReportsBatchCollisionsAndChangesNothing) {
    const std::string a = picture(dir.path(), "a.jpg", 7);
    const std::string b = picture(dir.path(), "b.jpg", 7);
    const std::string c = picture(dir.path(), "c.jpg", 8);
    const auto before = dir.contents();
    DryRunFileSystem dryRun(realFileSystem());
    FixedPrefix fixed("");
    RenameCommands run(
        [&] {
            return std::make_unique<ArgumentEntryList>(std::vector<std::string>{a, b, c, a});
        },
        fixed, [] {}, &recorder, &dryRun);
    run.renameMarked();
    ASSERT_EQ(recorder.outcomes.size(), 4u);
    EXPECT_EQ(recorder.outcomes[0].kind, RenameKind::renamed);
    EXPECT_EQ(recorder.outcomes[1].kind, RenameKind::nameExists);
    EXPECT_EQ(recorder.outcomes[2].kind, RenameKind::renamed);
    EXPECT_EQ(recorder.outcomes[3].kind, RenameKind::cannotOpen); // already moved away
    EXPECT_EQ(dir.contents(), before);
}

} // namespace
} // namespace shotstamp

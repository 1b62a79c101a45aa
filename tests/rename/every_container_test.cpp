// The command-line tool's pipeline on folders of every kind of photo and video, with the files the
// tests build byte by byte: each file dated by its own container, named with its own kind's
// extension, Live Photo and RAW companions moving with their still, and the date chain's sources.

#include "capture/zone.h"
#include "rename/companions.h"
#include "rename/folder_walk.h"
#include "rename/picture_date.h"
#include "rename_test_support.h"
#include "tests/metadata/box_builder.h"
#include "tests/metadata/container_builders.h"

namespace shotstamp::testing {
namespace {

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string heic(const std::string& date) {
    HeifOptions heif;
    heif.items.push_back(HeifItem{1, "Exif", {}, exifItem(exifTiff(false, date)), 0});
    return text(heifFile(heif));
}

// A clip whose only date is its movie header's, in UTC.
std::string clip(std::uint64_t secondsSince1904) {
    return text(concat({ftyp("qt  ", "qt  "), movieBox(MovieDates{secondsSince1904, 0, {}, {}})}));
}

// The tool's settings: every container, the chain in UTC so that no machine's zone plays a part.
struct ToolOptions {
    explicit ToolOptions(std::vector<capture::DateSource> order = {capture::DateSource::exif}) {
        dating.date.rules.order = std::move(order);
        dating.date.rules.zone.kind = capture::ZoneSetting::Kind::utc;
        dating.date.rules.zone.given = true;
        dating.date.rules.nowUtc = 4102444800; // 2100-01-01
        options.dating = &dating;
        options.scan.everyContainer = true;
    }
    DatingRules dating;
    RenameOptions options;
};

// Every file of a kind the tool reads, in name order, as a folder operand hands them out.
std::vector<RenameOutcome> renameFolder(const std::string& folder, const RenameOptions& options) {
    Recorder recorder;
    FixedPrefix prefix("");
    RenameCommands commands(
        [&]() -> std::unique_ptr<EntryList> {
            auto walk =
                std::make_unique<FolderWalkList>(std::vector{folder}, false, realFileSystem());
            walk->setFilter([](const std::string&, std::string_view name, bool) {
                return hasSupportedExtension(name);
            });
            return walk;
        },
        prefix, [] {}, &recorder);
    commands.setOptions(options);
    commands.renameMarked();
    return recorder.outcomes;
}

TEST(EveryContainer, AMixedPhoneAndCameraFolderIsNamedByContent) {
    TempFolder dir;
    writeFile(dir.path() + "IMG_1.HEIC", heic("2021:03:04 05:06:07"));
    writeFile(dir.path() + "IMG_1.MOV", clip(3700000000)); // its Live Photo clip
    writeFile(dir.path() + "IMG_2.JPG", jpegWithExif("2008:05:30 15:56:01"));
    writeFile(dir.path() + "IMG_2.CR3", text(cr3File(true, "2008:05:30 15:56:01")));
    writeFile(dir.path() + "IMG_2.JPG.xmp", "<x:xmpmeta/>");
    writeFile(dir.path() + "VID_3.mp4", clip(3700000000)); // 2021-03-31 01:46:40 UTC
    writeFile(dir.path() + "shot.png",
              text(png({pngChunk("eXIf", exifBlock(true, "2019:01:02 03:04:05"))})));
    writeFile(dir.path() + "sent.jpg", heic("2020:02:02 02:02:02")); // a HEIC under .jpg
    const auto before = dir.contents();

    ToolOptions tool;
    CompanionIndex companions(realFileSystem());
    tool.options.companions = &companions;
    const std::vector<RenameOutcome> outcomes = renameFolder(dir.path(), tool.options);

    const std::map<std::string, std::uint64_t> after = dir.contents();
    std::vector<std::string> names;
    for (const auto& [name, sum] : after) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"2008-05-30 155601.CR3", "2008-05-30 155601.jpg",
                                               "2008-05-30 155601.jpg.xmp", "2019-01-02 030405.png",
                                               "2020-02-02 020202.heic", "2021-03-04 050607.MOV",
                                               "2021-03-04 050607.heic", "2021-03-31 014640.mp4"}));
    EXPECT_EQ(checksums(after), checksums(before));
    for (const RenameOutcome& o : outcomes) {
        if (o.oldPath == dir.path() + "sent.jpg") {
            EXPECT_EQ(o.notes, std::vector<std::string>{"extension was .jpg, content is HEIC"});
        }
        if (o.oldPath.ends_with(".CR3") || o.oldPath.ends_with(".MOV")) {
            EXPECT_EQ(o.kind, RenameKind::companionOfPicture) << o.oldPath;
        }
    }
}

TEST(EveryContainer, TheChainDatesStrippedPicturesByNameAndSaysSo) {
    TempFolder dir;
    writeFile(dir.path() + "IMG-20230102-WA0001.jpg", jpegWithoutExif());
    writeFile(dir.path() + "PXL_20230102_231112123.jpg", jpegWithoutExif()); // UTC
    writeFile(dir.path() + "scan.jpg", jpegWithoutExif());
    ToolOptions tool(
        {capture::DateSource::exif, capture::DateSource::digitized, capture::DateSource::name});
    const std::vector<RenameOutcome> outcomes = renameFolder(dir.path(), tool.options);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].newPath, dir.path() + "2023-01-02.jpg");
    EXPECT_EQ(outcomes[0].notes, std::vector<std::string>{"day only, from the file name"});
    EXPECT_EQ(outcomes[1].newPath, dir.path() + "2023-01-02 231112.jpg");
    EXPECT_EQ(outcomes[1].dateSource, "file name");
    EXPECT_EQ(outcomes[2].kind, RenameKind::noDate);

    // The default chain keeps the window's rule: without DateTimeOriginal a picture stays.
    TempFolder plain;
    writeFile(plain.path() + "IMG-20230102-WA0001.jpg", jpegWithoutExif());
    ToolOptions exifOnly;
    EXPECT_EQ(renameFolder(plain.path(), exifOnly.options).at(0).kind, RenameKind::noExif);
}

} // namespace
} // namespace shotstamp::testing

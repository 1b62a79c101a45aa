// One picture renamed on what only Windows has: names of DOS devices, which stand for the device in
// any folder. Such a name is refused without being opened; opening or reading "aux.jpg" can block
// for ever, and "nul.jpg" reads as an empty file.
#include "rename/rename_commands.h"
#include "rename_test_support.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>

namespace shotstamp {
namespace {

using testing::renameOne;
using testing::TempFolder;
using testing::writeFile;

TEST(RenamePicture, DeviceNamesAreNeverOpened) {
    TempFolder dir;
    writeFile(dir.path() + "other.txt", "bystander");
    const auto before = dir.contents();
    for (const char* name : {"nul.jpg", "NUL.JPG", "con.jpg", "aux.jpg", "com1.jpg", "prn.jpg"}) {
        SCOPED_TRACE(name);
        const RenameOutcome outcome = renameOne(dir.path(), name);
        EXPECT_EQ(outcome.kind, RenameKind::cannotOpen) << reasonText(outcome.kind);
        EXPECT_FALSE(outcome.systemMessage.empty());
    }
    // A name that only starts like a device name is an ordinary file.
    writeFile(dir.path() + "nully.jpg", testing::jpegWithExif("2015:05:05 05:05:05"));
    EXPECT_EQ(renameOne(dir.path(), "nully.jpg").kind, RenameKind::renamed);
    auto expected = before;
    expected["2015-05-05 050505.jpg"] =
        testing::checksum(testing::jpegWithExif("2015:05:05 05:05:05"));
    EXPECT_EQ(dir.contents(), expected);
}

} // namespace
} // namespace shotstamp

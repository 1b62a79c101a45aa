// One picture renamed on what only a POSIX file system has: names Windows cannot hold (double
// quotes, bytes that are no UTF-8, 255 bytes in one name), symbolic links, and permissions that
// deny, checked in a forked child that drops root's privileges.
#include "rename/rename_commands.h"
#include "rename_test_support.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace shotstamp {
namespace {

using testing::checkPictureCase;
using testing::jpegWithExif;
using testing::makeFolder;
using testing::PictureCase;
using testing::renameOne;
using testing::TempFolder;
using testing::writeFile;

TEST(RenamePicture, NamesOnlyPosixCanHold) {
    const std::string longName = std::string(251, 'n') + ".JPG";
    const PictureCase cases[] = {
        {"spaces and quotes", "my \"best\" 'one'.jpg", jpegWithExif("2001:02:03 04:05:06"),
         RenameKind::renamed, "2001-02-03 040506.jpg"},
        {"non-UTF-8 bytes", "\xFF\xFE caf\xE9.jpg", jpegWithExif("2001:02:03 04:05:07"),
         RenameKind::renamed, "2001-02-03 040507.jpg"},
        {"255-byte name", longName, jpegWithExif("2001:02:03 04:05:08"), RenameKind::renamed,
         "2001-02-03 040508.jpg"},
    };
    for (const PictureCase& c : cases) {
        checkPictureCase(c);
    }
}

TEST(RenamePicture, RenamesTheSymlinkNotItsTarget) {
    TempFolder dir;
    makeFolder(dir.path() + "store");
    writeFile(dir.path() + "store/picture.data", jpegWithExif("2012:01:02 03:04:05"));
    ASSERT_EQ(::symlink("store/picture.data", (dir.path() + "link.jpg").c_str()), 0);

    EXPECT_EQ(renameOne(dir.path(), "link.jpg").kind, RenameKind::renamed);
    char target[64] = {};
    ASSERT_GT(::readlink((dir.path() + "2012-01-02 030405.jpg").c_str(), target, sizeof target - 1),
              0);
    EXPECT_STREQ(target, "store/picture.data");
    EXPECT_EQ(testing::readFile(dir.path() + "store/picture.data"),
              jpegWithExif("2012:01:02 03:04:05"));
}

// Runs `body` as the user nobody when running as root, where permissions do not deny.
template <typename Body> int runUnprivileged(Body body) {
    if (::geteuid() != 0) {
        return body();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST(RenamePicture, PermissionsThatDenyKeepThePicture) {
    TempFolder dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dir.path() + "readonly").c_str(), 0755), 0);
    const std::string readOnly = dir.path() + "readonly/";
    writeFile(readOnly + "a.jpg", jpegWithExif("2013:01:01 01:01:01"));
    writeFile(dir.path() + "secret.jpg", jpegWithExif("2013:01:01 01:01:02"));
    ASSERT_EQ(::chmod((dir.path() + "secret.jpg").c_str(), 0), 0);
    ASSERT_EQ(::chmod(readOnly.c_str(), 0555), 0);
    if (::geteuid() == 0 && ::access("/", X_OK) != 0) {
        GTEST_SKIP() << "cannot reach the folder as an unprivileged user";
    }
    const int openKind =
        runUnprivileged([&] { return static_cast<int>(renameOne(dir.path(), "secret.jpg").kind); });
    const int moveKind =
        runUnprivileged([&] { return static_cast<int>(renameOne(readOnly, "a.jpg").kind); });
    if (openKind == 99 || moveKind == 99) {
        GTEST_SKIP() << "cannot drop privileges to the user nobody";
    }
    EXPECT_EQ(openKind, static_cast<int>(RenameKind::cannotOpen));
    EXPECT_EQ(moveKind, static_cast<int>(RenameKind::renameRefused));
    ASSERT_EQ(::chmod(readOnly.c_str(), 0755), 0);
    EXPECT_EQ(testing::readFile(readOnly + "a.jpg"), jpegWithExif("2013:01:01 01:01:01"));
}

} // namespace
} // namespace shotstamp

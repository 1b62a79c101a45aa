#include "shell_quoting.h"

#include <gtest/gtest.h>

namespace shotstamp::cli {

TEST(ShellQuoting, PosixQuotesOnlyWhatTheShellWouldSplitOrExpand) {
    EXPECT_EQ(posixQuoted("--prefix"), "--prefix");
    EXPECT_EQ(posixQuoted("/home/me/IMG_0001.jpg"), "/home/me/IMG_0001.jpg");
    EXPECT_EQ(posixQuoted("Trip "), "'Trip '");
    EXPECT_EQ(posixQuoted(""), "''");
    EXPECT_EQ(posixQuoted("*.jpg"), "'*.jpg'");
    EXPECT_EQ(posixQuoted("Anne's"), "'Anne'\\''s'");
}

TEST(ShellQuoting, WindowsUsesDoubleQuotesAndTheRuntimesBackslashRules) {
    EXPECT_EQ(windowsQuoted("C:\\Pictures\\a.jpg"), "C:\\Pictures\\a.jpg");
    EXPECT_EQ(windowsQuoted("C:\\My Pictures\\a.jpg"), "\"C:\\My Pictures\\a.jpg\"");
    EXPECT_EQ(windowsQuoted(""), "\"\"");
    EXPECT_EQ(windowsQuoted("Tom & Jerry"), "\"Tom & Jerry\"");
    // A trailing backslash would escape the closing quote; one before a quote is doubled too.
    EXPECT_EQ(windowsQuoted("C:\\My Pictures\\"), "\"C:\\My Pictures\\\\\"");
    EXPECT_EQ(windowsQuoted("say \\\"hi\""), "\"say \\\\\\\"hi\\\"\"");
    EXPECT_EQ(windowsQuoted("Anne's"), "Anne's");
}

} // namespace shotstamp::cli

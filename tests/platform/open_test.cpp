// Opening a picture: one open gives the bytes and the identity of the very file read, and
// nothing that could block a reader (a pipe, a folder) is ever opened for reading.
#include "platform/files.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace shotstamp::files {
namespace {

using testing::TempFolder;
using testing::writeFile;

TEST(OpenForReading, GivesTheBytesAndTheIdentityOfTheFileOpenedAndRefusesWhatCouldBlock) {
    TempFolder folder;
    const std::string bytes(70000, 'b'); // past a stdio buffer or two
    writeFile(folder.path() + "a.jpg", bytes);
    writeFile(folder.path() + "other.jpg", "other");
    std::string message;
    FileIdentity identity;
    bool identified = false;
    std::FILE* file = openIdentified(folder.path() + "a.jpg", message, identity, identified);
    ASSERT_NE(file, nullptr) << message;
    FileIdentity byStream;
    FileIdentity byPath;
    FileIdentity ofOther;
    EXPECT_TRUE(identified && identifyOpenFile(file, byStream) &&
                identifyPath(folder.path() + "a.jpg", byPath) &&
                identifyPath(folder.path() + "other.jpg", ofOther));
    EXPECT_EQ(identity, byStream);
    EXPECT_EQ(identity, byPath);
    EXPECT_NE(identity, ofOther);
    std::string read(bytes.size() + 1, '\0');
    EXPECT_EQ(std::fread(read.data(), 1, read.size(), file), bytes.size());
    std::fclose(file);

    std::vector<std::string> refused{folder.path() + "missing.jpg", folder.path()};
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((folder.path() + "pipe.jpg").c_str(), 0600), 0);
    refused.push_back(folder.path() + "pipe.jpg");
#endif
    for (const std::string& path : refused) {
        message.clear();
        identified = true;
        EXPECT_EQ(openIdentified(path, message, identity, identified), nullptr) << path;
        EXPECT_FALSE(identified) << path;
        EXPECT_FALSE(message.empty()) << path;
        EXPECT_EQ(openForReading(path, message), nullptr) << path;
    }
}

#ifndef _WIN32
// The limit of the last folder is kept: asking again must still refuse what does not fit.
TEST(NameFits, TheSameFolderAskedAgainGivesTheSameLimit) {
    TempFolder folder;
    std::string message;
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(nameFits(folder.path() + std::string(255, 'n'), message));
        EXPECT_FALSE(nameFits(folder.path() + std::string(256, 'n'), message));
    }
}
#endif

} // namespace
} // namespace shotstamp::files

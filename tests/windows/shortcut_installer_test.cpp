// ShortcutInstaller on the real shell: links are made in and removed from the user's Send To
// folder and read back through the shell link object.

#include "shell/shortcut_installer.h"

#include <gtest/gtest.h>
#include <windows.h>
// The shell headers build on <windows.h>.
#include <shlobj.h>
#include <string>

namespace {

using shotstamp::kFolderSendTo;
using shotstamp::ShortcutInstaller;
using shotstamp::ShortcutRequest;

// A folder id the shell knows that has no file-system path ("This PC").
constexpr std::int32_t kFolderWithoutPath = CSIDL_DRIVES;

struct StoredLink {
    bool loaded = false;
    std::string path;
    std::string description;
    std::string iconPath;
    int iconIndex = -1;
};

StoredLink readLink(const std::string& linkPath) {
    StoredLink stored;
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return stored;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::wstring wide(linkPath.begin(), linkPath.end());
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ))) {
            char text[MAX_PATH * 2] = {};
            stored.loaded = true;
            link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
            stored.path = text;
            text[0] = '\0';
            link->GetDescription(text, sizeof text);
            stored.description = text;
            text[0] = '\0';
            link->GetIconLocation(text, sizeof text, &stored.iconIndex);
            stored.iconPath = text;
        }
        file->Release();
    }
    link->Release();
    return stored;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ownProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

class ShortcutInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ShortcutInstaller().specialFolderPath(kFolderSendTo, sendTo_));
        linkName_ = std::string("ShotstampTest-") +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override { DeleteFileA(linkPath().c_str()); }

    std::string linkPath() const { return sendTo_ + linkName_ + ".lnk"; }
    ShortcutRequest request(const std::string& target) const {
        ShortcutRequest r;
        r.target = target;
        r.linkName = linkName_;
        r.folderId = kFolderSendTo;
        return r;
    }

    std::string sendTo_;
    std::string linkName_;
};

TEST_F(ShortcutInstallerTest, SendToFolderEndsInABackslash) {
    ASSERT_FALSE(sendTo_.empty());
    EXPECT_EQ(sendTo_.back(), '\\');
    EXPECT_NE(sendTo_.find("SendTo"), std::string::npos) << sendTo_;
}

TEST_F(ShortcutInstallerTest, CreateTwiceKeepsOneLinkThenRemoveDeletesIt) {
    const std::string target = "C:\\windows\\notepad.exe";
    ShortcutRequest r = request(target);
    r.iconIndex = 1; // ignored: no icon path
    EXPECT_TRUE(ShortcutInstaller().create(r));
    EXPECT_TRUE(ShortcutInstaller().create(r));

    WIN32_FIND_DATAA found{};
    int count = 0;
    const HANDLE search = FindFirstFileA((sendTo_ + linkName_ + "*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        ++count;
        EXPECT_EQ(std::string(found.cFileName), linkName_ + ".lnk");
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(count, 1);

    const StoredLink stored = readLink(linkPath());
    ASSERT_TRUE(stored.loaded);
    EXPECT_EQ(stored.path, target);
    EXPECT_EQ(stored.description, "");
    EXPECT_EQ(stored.iconPath, "") << "no icon location without an icon path";

    EXPECT_TRUE(ShortcutInstaller().remove(linkName_, kFolderSendTo));
    EXPECT_FALSE(fileExists(linkPath()));
    EXPECT_FALSE(ShortcutInstaller().remove(linkName_, kFolderSendTo)) << "already gone";
}

TEST_F(ShortcutInstallerTest, DescriptionAndIconLocationAreStored) {
    ShortcutRequest r = request("C:\\windows\\notepad.exe");
    r.description = "Rename by date";
    r.iconPath = "C:\\windows\\notepad.exe";
    r.iconIndex = 2;
    ASSERT_TRUE(ShortcutInstaller().create(r));
    const StoredLink stored = readLink(linkPath());
    ASSERT_TRUE(stored.loaded);
    EXPECT_EQ(stored.description, "Rename by date");
    EXPECT_EQ(stored.iconPath, "C:\\windows\\notepad.exe");
    EXPECT_EQ(stored.iconIndex, 2);
}

TEST_F(ShortcutInstallerTest, OnlyTheExactWordThisMeansTheRunningProgram) {
    struct Case {
        const char* target;
        bool meansThisProgram;
    };
    for (const Case& c : {Case{"_this", true}, Case{"_This", false}, Case{"_this ", false}}) {
        SCOPED_TRACE(std::string("target '") + c.target + "'");
        ASSERT_TRUE(ShortcutInstaller().create(request(c.target)));
        const StoredLink stored = readLink(linkPath());
        ASSERT_TRUE(stored.loaded);
        EXPECT_EQ(stored.path == ownProgram(), c.meansThisProgram) << stored.path;
        DeleteFileA(linkPath().c_str());
    }
}

TEST_F(ShortcutInstallerTest, LinkPathTooLongForTheBufferSavesNothing) {
    linkName_ = std::string(MAX_PATH, 'x');
    EXPECT_FALSE(ShortcutInstaller().create(request("C:\\windows\\notepad.exe")));
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((sendTo_ + "xxxx*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "left behind: " << found.cFileName;
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
}

TEST(ShortcutInstallerFolders, FolderWithoutAFileSystemPathFailsEverything) {
    std::string folder = "unchanged";
    EXPECT_FALSE(ShortcutInstaller().specialFolderPath(kFolderWithoutPath, folder));
    EXPECT_EQ(folder, "unchanged");
    ShortcutRequest r;
    r.target = "C:\\windows\\notepad.exe";
    r.linkName = "ShotstampTest-NoPath";
    r.folderId = kFolderWithoutPath;
    EXPECT_FALSE(ShortcutInstaller().create(r));
    EXPECT_FALSE(ShortcutInstaller().remove(r.linkName, kFolderWithoutPath));
    EXPECT_FALSE(ShortcutInstaller().specialFolderPath(-12345, folder)) << "unknown id";
}

} // namespace

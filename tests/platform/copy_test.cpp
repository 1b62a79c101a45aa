#include "platform/files.h"
#include "tests/support/test_files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <set>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#endif

namespace shotstamp::files {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

// More than one buffer's worth, not a multiple of it.
std::string randomBytes(std::size_t size) {
    std::mt19937 random(42);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

bool holdsTemporary(const TempFolder& folder) {
    for (const auto& [name, sum] : folder.contents()) {
        if (name.rfind(".shotstamp-copy-", 0) == 0) {
            return true;
        }
    }
    return false;
}

// Copies `bytes` from `source` to `target`, checks the copy, the untouched source and that no
// temporary file is left.
void checkCopy(const std::string& source, const std::string& target, const std::string& bytes,
               const TempFolder& targetFolder) {
    writeFile(source, bytes);
    const auto sourceTime = std::filesystem::last_write_time(source);
    const CopyResult result = copyNoReplace(source, target, temporaryCopyPath(target));
    ASSERT_EQ(result.status, CopyStatus::copied) << result.message;
    EXPECT_EQ(result.bytes, bytes.size());
    EXPECT_TRUE(readFile(target) == bytes);
    EXPECT_TRUE(readFile(source) == bytes);
    EXPECT_EQ(std::filesystem::last_write_time(target), sourceTime);
    EXPECT_FALSE(holdsTemporary(targetFolder));
}

TEST(CopyNoReplace, CopiesExactlyAndKeepsTheModificationTime) {
    TempFolder dir;
    checkCopy(dir.path() + "a.jpg", dir.path() + "b.jpg", randomBytes(3 * 1024 * 1024 + 17), dir);
    checkCopy(dir.path() + "empty.jpg", dir.path() + "empty copy.jpg", "", dir);
    // Two temporaries for one target never share a name.
    EXPECT_NE(temporaryCopyPath(dir.path() + "x.jpg"), temporaryCopyPath(dir.path() + "x.jpg"));
}

TEST(CopyNoReplace, RefusesAndFailsWithoutLeavingAnything) {
    TempFolder dir;
    const std::string source = dir.path() + "a.jpg";
    const std::string target = dir.path() + "b.jpg";
    writeFile(source, "picture a");
    writeFile(target, "picture b");
    EXPECT_EQ(copyNoReplace(source, target, temporaryCopyPath(target)).status,
              CopyStatus::targetExists);
    EXPECT_EQ(readFile(target), "picture b");

    const std::string free = dir.path() + "c.jpg";
    const struct {
        std::string from;
        bool ownTemporary;
        std::string says;
    } failures[] = {{dir.path() + "none.jpg", true, "opening the source"},
                    {dir.path(), true, "the source"}, // a folder: not opened, or not a file
                    {source, false, "creating the temporary copy"}};
    // Someone else's file under the temporary name is neither used nor deleted.
    const std::string taken = temporaryCopyPath(free);
    writeFile(taken, "not ours");
    for (const auto& f : failures) {
        const CopyResult result =
            copyNoReplace(f.from, free, f.ownTemporary ? dir.path() + "t" : taken);
        EXPECT_EQ(result.status, CopyStatus::failed) << f.from;
        EXPECT_NE(result.message.find(f.says), std::string::npos) << result.message;
    }
    EXPECT_FALSE(files::exists(free));
    EXPECT_FALSE(files::exists(dir.path() + "t"));
    EXPECT_EQ(readFile(taken), "not ours");
    EXPECT_EQ(readFile(source), "picture a");
}

TEST(CopyQueue, FinishesInOrderAndNamesNothingItDidNotFinish) {
    TempFolder dir;
    const std::string to = dir.path() + "library/";
    std::filesystem::create_directory(to);
    for (int i = 0; i < 5; ++i) {
        writeFile(dir.path() + std::to_string(i), "picture " + std::to_string(i));
    }
    writeFile(to + "2", "already there");
    std::vector<FinishedCopy> finished;
    {
        CopyQueue queue(2);
        for (const char* name : {"0", "1", "2", "missing", "3"}) {
            queue.add(dir.path() + name, to + name, temporaryCopyPath(to + name), finished);
        }
#ifdef _WIN32
        EXPECT_EQ(finished.size(), 5U); // this back end finishes every copy as it is added
#else
        EXPECT_EQ(finished.size(), 3U); // two still in flight
#endif
        queue.finishAll(finished);
        // Dropped while in flight: never named, no temporary left.
        queue.add(dir.path() + "4", to + "4", temporaryCopyPath(to + "4"), finished);
    }
    ASSERT_GE(finished.size(), 5U);
    const CopyStatus expected[] = {CopyStatus::copied, CopyStatus::copied, CopyStatus::targetExists,
                                   CopyStatus::failed, CopyStatus::copied};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(finished[i].result.status, expected[i]) << finished[i].from;
    }
    EXPECT_EQ(finished[4].to, to + "3");
    EXPECT_EQ(readFile(to + "3"), "picture 3");
    EXPECT_EQ(readFile(to + "2"), "already there");
    // Only 0, 1, 2 and 3, and 4 where a back end finished it at once.
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(to)) {
        left.insert(entry.path().filename().string());
    }
    std::set<std::string> want = {"0", "1", "2", "3"};
    if (finished.size() == 6) {
        want.insert("4");
    }
    EXPECT_EQ(left, want);
}

#ifndef _WIN32
// A tmpfs: /dev/shm where it is one, else one mounted for the test (needs root).
class Tmpfs {
public:
    explicit Tmpfs(const char* options = nullptr) {
        struct statfs info {};
        if (options == nullptr && ::statfs("/dev/shm", &info) == 0 &&
            info.f_type == 0x01021994 /* TMPFS_MAGIC */) {
            folder_.emplace("/dev/shm/shotstamp-copy-test-" + std::to_string(::getpid()) + "/");
            ready_ = ::mkdir(folder_->c_str(), 0700) == 0;
            return;
        }
        if (::geteuid() != 0) {
            why_ = "needs root to mount a tmpfs (and /dev/shm is none)";
            return;
        }
        folder_.emplace(base_.path());
        mounted_ = ::mount("tmpfs", folder_->c_str(), "tmpfs", 0, options) == 0;
        ready_ = mounted_;
        if (!mounted_) {
            why_ = "mounting a tmpfs failed (no CAP_SYS_ADMIN in this container?)";
        }
    }
    ~Tmpfs() {
        if (mounted_) {
            ::umount2(folder_->c_str(), MNT_DETACH);
        } else if (ready_) {
            std::error_code error;
            std::filesystem::remove_all(*folder_, error);
        }
    }
    bool ready() const { return ready_; }
    const std::string& why() const { return why_; }
    const std::string& path() const { return *folder_; }

private:
    TempFolder base_;
    std::optional<std::string> folder_;
    std::string why_;
    bool mounted_ = false;
    bool ready_ = false;
};

TEST(CopyNoReplace, CrossesFileSystemsWithoutTouchingTheSource) {
    TempFolder disk;
    Tmpfs memory;
    if (!memory.ready()) {
        GTEST_SKIP() << memory.why();
    }
    const std::string bytes = randomBytes(2 * 1024 * 1024 + 5);
    for (const auto& [from, to] :
         {std::pair{disk.path(), memory.path()}, std::pair{memory.path(), disk.path()}}) {
        const std::string source = from + "card.jpg";
        writeFile(source, bytes);
        struct stat before {};
        ASSERT_EQ(::stat(source.c_str(), &before), 0);
        const CopyResult result =
            copyNoReplace(source, to + "library.jpg", temporaryCopyPath(to + "library.jpg"));
        ASSERT_EQ(result.status, CopyStatus::copied) << result.message;
        EXPECT_TRUE(readFile(to + "library.jpg") == bytes);
        // Not written, not even its times changed.
        struct stat after {};
        ASSERT_EQ(::stat(source.c_str(), &after), 0);
        EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
        EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
        EXPECT_EQ(std::filesystem::directory_entry(to).path(), to); // folder still there
        ::unlink((to + "library.jpg").c_str());
    }
}

TEST(CopyNoReplace, FullFileSystemLeavesNoPartialFile) {
    Tmpfs small("size=1m");
    if (!small.ready()) {
        GTEST_SKIP() << small.why();
    }
    TempFolder disk;
    writeFile(disk.path() + "big.jpg", randomBytes(3 * 1024 * 1024));
    const std::string target = small.path() + "big.jpg";
    const std::string temporary = temporaryCopyPath(target);
    const CopyResult result = copyNoReplace(disk.path() + "big.jpg", target, temporary);
    EXPECT_EQ(result.status, CopyStatus::failed);
    EXPECT_NE(result.message.find("writing the copy"), std::string::npos) << result.message;
    EXPECT_FALSE(files::exists(target));
    EXPECT_FALSE(files::exists(temporary));
}
#endif

} // namespace
} // namespace shotstamp::files

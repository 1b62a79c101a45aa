// The POSIX no-replace rename, each of its three ways on its own, on the test folder's file system
// and on a loop-mounted FAT image where one can be made.
#include "platform/files.h"
#include "platform/linux/no_replace_move.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace shotstamp::files::posix {
namespace {

using testing::readFile;
using testing::writeFile;

using Step = StepResult (*)(const std::string&, const std::string&);

struct Way {
    const char* name;
    Step step;
};

const Way kWays[] = {{"renameNoReplace", &renameNoReplace},
                     {"linkThenUnlink", &linkThenUnlink},
                     {"guardedRename", &guardedRename},
                     {"moveNoReplace", [](const std::string& from, const std::string& to) {
                          const MoveResult r = moveNoReplace(from, to);
                          return StepResult{r.status == MoveStatus::moved ? StepStatus::moved
                                            : r.status == MoveStatus::targetExists
                                                ? StepStatus::targetExists
                                                : StepStatus::failed,
                                            0};
                      }}};

// Checks one way in `folder`: it refuses a taken name and moves onto a free one. A way the file
// system does not support (allowed when !mustBeSupported) must say so and change nothing.
void checkWay(const Way& way, const std::string& folder, bool mustBeSupported) {
    SCOPED_TRACE(way.name);
    const std::string a = folder + "a.jpg";
    const std::string b = folder + "b.jpg";
    const std::string c = folder + "c.jpg";
    writeFile(a, "picture a");
    writeFile(b, "picture b");
    auto allowed = [&](StepStatus status, StepStatus expected) {
        return status == expected || (!mustBeSupported && status == StepStatus::unsupported);
    };

    EXPECT_TRUE(allowed(way.step(a, b).status, StepStatus::targetExists));
    EXPECT_EQ(readFile(a), "picture a");
    EXPECT_EQ(readFile(b), "picture b");

    const StepStatus moved = way.step(a, c).status;
    EXPECT_TRUE(allowed(moved, StepStatus::moved));
    EXPECT_EQ(readFile(moved == StepStatus::moved ? c : a), "picture a");
    EXPECT_NE(files::exists(a), files::exists(c));

    // Missing source: a failure that leaves no claim behind.
    EXPECT_TRUE(
        allowed(way.step(folder + "none.jpg", folder + "d.jpg").status, StepStatus::failed));
    EXPECT_FALSE(files::exists(folder + "d.jpg"));
    for (const std::string& name : {a, b, c}) {
        ::unlink(name.c_str());
    }
}

TEST(NoReplaceMove, EveryWayRefusesAnExistingTarget) {
    testing::TempFolder dir;
    for (const Way& way : kWays) {
        checkWay(way, dir.path(), true);
    }
}

// A FAT image: mounted by the kernel on a loop device where it can, else through FUSE (fusefat),
// which also refuses the no-replace flag, so the whole fallback chain runs.
class FatImage {
public:
    FatImage() {
        if (::geteuid() != 0) {
            why_ = "needs root to mount a file system image";
            return;
        }
        if (std::system("command -v mkfs.vfat >/dev/null 2>&1") != 0) {
            why_ = "mkfs.vfat (package dosfstools) is not installed";
            return;
        }
        image_ = folder_.path() + "fat.img";
        mountPoint_ = folder_.path() + "mnt/";
        const std::string make = "truncate -s 8M '" + image_ + "' && mkfs.vfat '" + image_ +
                                 "' >/dev/null 2>&1 && mkdir '" + mountPoint_ + "'";
        if (std::system(make.c_str()) != 0) {
            why_ = "could not make a vfat image";
            return;
        }
        const std::string kernel =
            "mount -o loop '" + image_ + "' '" + mountPoint_ + "' 2>/dev/null";
        const std::string fuse = "command -v fusefat >/dev/null && fusefat -o rw+ '" + image_ +
                                 "' '" + mountPoint_ + "' >/dev/null 2>&1";
        if (std::system(kernel.c_str()) == 0) {
            kind_ = "kernel vfat";
        } else if (std::system(fuse.c_str()) == 0) {
            kind_ = "fusefat";
        } else {
            why_ =
                "neither a loop mount of vfat nor fusefat (package fusefat) could mount the image";
            return;
        }
        mounted_ = true;
    }
    ~FatImage() {
        if (mounted_) {
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    const std::string& kind() const { return kind_; }
    const std::string& path() const { return mountPoint_; }

private:
    testing::TempFolder folder_;
    std::string image_;
    std::string mountPoint_;
    std::string why_;
    std::string kind_;
    bool mounted_ = false;
};

TEST(NoReplaceMove, HoldsOnFat) {
    FatImage fat;
    if (!fat.mounted()) {
        GTEST_SKIP() << fat.why();
    }
    RecordProperty("mountedBy", fat.kind());
    // FAT has no hard links: link() must report that rather than fail or replace.
    writeFile(fat.path() + "x.jpg", "x");
    EXPECT_EQ(linkThenUnlink(fat.path() + "x.jpg", fat.path() + "y.jpg").status,
              StepStatus::unsupported);
    ::unlink((fat.path() + "x.jpg").c_str());
    for (const Way& way : kWays) {
        checkWay(way, fat.path(),
                 way.step == &guardedRename || way.name == std::string("moveNoReplace"));
    }
    // FAT compares names without case: an upper-case twin is the same file and is not replaced.
    writeFile(fat.path() + "p.jpg", "p");
    writeFile(fat.path() + "q.jpg", "q");
    EXPECT_EQ(moveNoReplace(fat.path() + "q.jpg", fat.path() + "P.JPG").status,
              MoveStatus::targetExists);
    EXPECT_EQ(guardedRename(fat.path() + "q.jpg", fat.path() + "P.JPG").status,
              StepStatus::targetExists);
    EXPECT_EQ(readFile(fat.path() + "p.jpg"), "p");
}

} // namespace
} // namespace shotstamp::files::posix

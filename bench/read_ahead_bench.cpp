// "All in Path" over folders of 1,000, 10,000 and 100,000 pictures, with the page cache warm and
// cold: shotstamp-cli reading one header at a time (--jobs 1) against reading ahead (the
// program's choice, or --jobs N), next to a baseline that does the least any renamer must (open,
// walk the segment lengths to the start of scan, close, rename without replacing, one file at a
// time) and the floor of reading the same headers from 16 threads without renaming anything.
//
// usage: read_ahead_bench [--sizes 1000,10000,100000] [--folder DIR] [--jobs N] [--warm-only]
//                         [--cli PATH]
// DIR is where the picture folders are made (default: the system's temporary folder), for
// example a mount with injected latency. Cold runs drop the page cache when the process may
// write /proc/sys/vm/drop_caches (root); otherwise they evict each file's cached data with
// posix_fadvise, which leaves folder and inode caches warm, and say so.
#include "baseline.h"
#include "tests/support/test_files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using bench::baseline;
using bench::moveNoReplace;
using bench::namesIn;
using bench::resetNames;
using bench::runProgram;

using Clock = std::chrono::steady_clock;

// About what a camera puts in front of the image: the Exif block with its thumbnail.
constexpr std::size_t kHeaderPadding = 16 * 1024;

std::string picture(int i) {
    char date[32];
    std::snprintf(date, sizeof date, "20%02d:%02d:%02d %02d:%02d:%02d", 1 + i / 86400 % 90,
                  1 + i / 86400 / 90 % 12, 1, i / 3600 % 24, i / 60 % 60, i % 60);
    std::string bytes = shotstamp::testing::jpegWithExif(date, std::string(kHeaderPadding, 'c'));
    bytes.append(4096, '\x55'); // some compressed image data behind the header
    return bytes;
}

bool fillFolder(const std::string& folder, int count) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored); // left by an interrupted run
    if (::mkdir(folder.c_str(), 0755) != 0) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        shotstamp::testing::writeFile(folder + "IMG_" + std::to_string(i) + ".JPG", picture(i));
    }
    return namesIn(folder).size() == std::size_t(count);
}

// 16 threads open each file and read its first 16 KiB; nothing is parsed or renamed.
int parallelReadFloor(const std::string& folder) {
    const std::vector<std::string> names = namesIn(folder);
    std::atomic<std::size_t> next{0};
    std::atomic<int> read{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t) {
        threads.emplace_back([&] {
            std::vector<char> buffer(16 * 1024);
            for (std::size_t i; (i = next++) < names.size();) {
                const int fd = ::open((folder + names[i]).c_str(), O_RDONLY);
                if (fd >= 0) {
                    read += ::read(fd, buffer.data(), buffer.size()) > 0 ? 1 : 0;
                    ::close(fd);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return read;
}

template <typename Body> double timed(Body body) {
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool canDropCaches() {
    return std::ofstream("/proc/sys/vm/drop_caches").good();
}

// Empties the page cache, or failing that evicts the folder's file data.
void makeCold(const std::string& folder, bool dropAll) {
    ::sync();
    if (dropAll) {
        std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
        return;
    }
    for (const std::string& name : namesIn(folder)) {
        const int fd = ::open((folder + name).c_str(), O_RDONLY);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

std::vector<int> parseSizes(const char* text) {
    std::vector<int> sizes;
    for (const char* p = text; *p != '\0';) {
        char* end = nullptr;
        const long n = std::strtol(p, &end, 10);
        if (end == p || n <= 0) {
            return {};
        }
        sizes.push_back(static_cast<int>(n));
        p = *end == ',' ? end + 1 : end;
    }
    return sizes;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes{1000, 10000, 100000};
    std::string root;
    std::string jobs;
    std::string cli = SHOTSTAMP_CLI_PATH;
    bool warmOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--sizes" && hasValue) {
            sizes = parseSizes(argv[++i]);
        } else if (a == "--folder" && hasValue) {
            root = argv[++i];
        } else if (a == "--jobs" && hasValue) {
            jobs = argv[++i];
        } else if (a == "--cli" && hasValue) {
            cli = argv[++i];
        } else if (a == "--warm-only") {
            warmOnly = true;
        } else {
            std::fprintf(stderr, "usage: read_ahead_bench [--sizes N,...] [--folder DIR] "
                                 "[--jobs N] [--warm-only] [--cli PATH]\n");
            return 2;
        }
    }
    shotstamp::testing::TempFolder temporary;
    if (root.empty()) {
        root = temporary.path();
    } else if (root.back() != '/') {
        root += '/';
    }
    if (sizes.empty() || root.empty()) {
        std::fprintf(stderr, "read_ahead_bench: no sizes or no folder\n");
        return 1;
    }
    const bool dropAll = canDropCaches();
    std::printf("folder: %s\nread-ahead: %s\ncold: %s\n", root.c_str(),
                jobs.empty() ? "the program's choice" : ("--jobs " + jobs).c_str(),
                warmOnly  ? "not measured"
                : dropAll ? "page cache dropped (echo 3 > /proc/sys/vm/drop_caches)"
                          : "cannot drop the page cache here (not root): each file's data "
                            "evicted with posix_fadvise; folder and inode caches stay warm");
    std::printf("%8s %5s %-26s %9s %10s %8s %8s %9s\n", "pictures", "cache", "run", "seconds",
                "files/s", "vs base", "vs ser.", "peak MB");

    for (const int count : sizes) {
        const std::string folder = root + "bench-" + std::to_string(count) + "/";
        if (!fillFolder(folder, count)) {
            std::fprintf(stderr, "read_ahead_bench: cannot fill %s\n", folder.c_str());
            return 1;
        }
        std::vector<std::string> serialArgs{cli,      "rename", "--all-in-path",
                                            "--jobs", "1",      folder + "x.jpg"};
        std::vector<std::string> aheadArgs{cli, "rename", "--all-in-path", folder + "x.jpg"};
        if (!jobs.empty()) {
            aheadArgs.insert(aheadArgs.begin() + 3, {"--jobs", jobs});
        }
        for (const bool cold : {false, true}) {
            if (cold && warmOnly) {
                continue;
            }
            const auto prepare = [&] {
                resetNames(folder);
                if (cold) {
                    makeCold(folder, dropAll);
                } else {
                    namesIn(folder); // folder entries cached like the data
                }
            };
            const auto row = [&](const char* what, double seconds, double base, double serial,
                                 long peakKiB) {
                std::printf("%8d %5s %-26s %9.3f %10.0f %8.2f %8.2f", count, cold ? "cold" : "warm",
                            what, seconds, count / seconds, base / seconds, serial / seconds);
                if (peakKiB > 0) {
                    std::printf(" %9.1f", peakKiB / 1024.0);
                }
                std::printf("\n");
                std::fflush(stdout);
            };
            prepare();
            int renamed = 0;
            const double base = timed([&] { renamed = baseline(folder); });
            if (renamed != count) {
                std::fprintf(stderr, "read_ahead_bench: baseline renamed %d of %d\n", renamed,
                             count);
            }
            prepare();
            long serialPeak = 0;
            const double serial = runProgram(serialArgs, serialPeak, 1);
            prepare();
            long aheadPeak = 0;
            const double ahead = runProgram(aheadArgs, aheadPeak, 1);
            prepare();
            const double floor = timed([&] { parallelReadFloor(folder); });
            if (serial <= 0 || ahead <= 0) {
                std::fprintf(stderr, "read_ahead_bench: %s failed\n", cli.c_str());
                return 1;
            }
            row("baseline (serial, no parse)", base, base, serial, 0);
            row("shotstamp-cli --jobs 1", serial, base, serial, serialPeak);
            row("shotstamp-cli read-ahead", ahead, base, serial, aheadPeak);
            row("floor: 16 threads read 16K", floor, base, serial, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    return 0;
}

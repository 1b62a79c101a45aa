// `shotstamp-cli rename --copy --into` over N camera-like pictures next to `cp -r` copying the
// same files: all read a warm source; the checked copy also flushes each file to the device and
// reads it back to compare, so it is measured against `cp -r` alone and `cp -r` followed by
// `sync` (which alike leaves every copy on the device). The copy routines are also timed alone:
// one checked copy at a time and with the flushes of 16 copies overlapped (files::CopyQueue).
//
// usage: copy_bench [N] [size in KiB] [target folder] [rounds] [other shotstamp-cli]
// (defaults: 1000 files of 256 KiB, a fresh folder beside the sources, 5 rounds whose median
// counts; give a folder on another file system to cross one, and another build of the program
// for a before/after comparison)
#include "platform/files.h"
#include "tests/support/test_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double runShell(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return secondsSince(start);
}

// A JPEG with a distinct date taken, filled up to `bytes` with random image data.
std::string picture(int i, std::size_t bytes, std::mt19937& random) {
    char date[32];
    std::snprintf(date, sizeof date, "2020:%02d:%02d %02d:%02d:%02d", 1 + i / 86400 % 12,
                  1 + i / 3600 / 24 % 28, i / 3600 % 24, i / 60 % 60, i % 60);
    std::string jpeg = shotstamp::testing::jpegWithExif(date, std::string(16 * 1024, 'c'));
    while (jpeg.size() < bytes) {
        jpeg.push_back(static_cast<char>(random() & 0x7F)); // no 0xFF: nothing looks like a marker
    }
    return jpeg;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const long kib = argc > 2 ? std::atol(argv[2]) : 256;
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    shotstamp::testing::TempFolder work;
    const std::string base =
        argc > 3 && argv[3][0] != '\0' ? std::string(argv[3]) + "/" : work.path();
    const std::string source = work.path() + "card/";
    const std::string state = work.path() + "state/";
    ::mkdir(source.c_str(), 0755);
    ::mkdir(state.c_str(), 0755);
    ::setenv("XDG_STATE_HOME", state.c_str(), 1); // the journals of the runs stay in here

    std::mt19937 random(7);
    for (int i = 0; i < count; ++i) {
        shotstamp::testing::writeFile(source + "IMG_" + std::to_string(i) + ".JPG",
                                      picture(i, static_cast<std::size_t>(kib) * 1024, random));
    }
    const double megabytes = static_cast<double>(count) * static_cast<double>(kib) / 1024.0;
    runShell("sync; cat '" + source + "'* > /dev/null"); // a warm source for every contender

    auto fresh = [&](const char* name) {
        const std::string folder = base + name + "/";
        std::filesystem::remove_all(folder);
        return folder;
    };
    auto report = [&](const char* what, double seconds) {
        std::printf("%-36s %7.2f s %9.0f files/s %8.1f MB/s\n", what, seconds, count / seconds,
                    megabytes / seconds);
        return seconds;
    };
    std::printf("%d files of %ld KiB (%.0f MB) into %s, %d rounds\n", count, kib, megabytes,
                base.c_str(), rounds);

    auto tidy = [&](const std::string& folder) {
        std::filesystem::remove_all(folder);
        runShell("sync");
    };
    auto plainCopy = [&](const char* what, const char* after) {
        runShell("sync");
        const std::string folder = fresh("cp");
        const double seconds =
            report(what, runShell("cp -r '" + source + "' '" + folder + "'" + after));
        tidy(folder);
        return seconds;
    };
    const std::string other = argc > 5 ? argv[5] : "";
    auto cliCopy = [&](const std::string& program, const char* what) {
        runShell("sync");
        const std::string folder = fresh("cli");
        const double seconds = report(what, runShell("'" + program + "' rename --copy --into '" +
                                                     folder + "' '" + source + "' > /dev/null"));
        std::size_t copied = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            copied += entry.path().extension() == ".jpg" ? 1 : 0;
        }
        if (copied != static_cast<std::size_t>(count)) {
            std::fprintf(stderr, "shotstamp-cli copied %zu of %d files\n", copied, count);
            std::exit(1);
        }
        tidy(folder);
        std::filesystem::remove_all(state);
        ::mkdir(state.c_str(), 0755);
        return seconds;
    };
    auto checkedCopies = [&](const char* what, bool queued) {
        const std::string target = fresh("checked");
        ::mkdir(target.c_str(), 0755);
        shotstamp::files::CopyQueue queue;
        std::vector<shotstamp::files::FinishedCopy> finished;
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            const std::string name = "IMG_" + std::to_string(i) + ".JPG";
            const std::string temporary = shotstamp::files::temporaryCopyPath(target + name);
            if (queued) {
                queue.add(source + name, target + name, temporary, finished);
            } else {
                finished.push_back(
                    {source + name, target + name,
                     shotstamp::files::copyNoReplace(source + name, target + name, temporary)});
            }
        }
        queue.finishAll(finished);
        const double seconds = report(what, secondsSince(start));
        for (const auto& f : finished) {
            if (f.result.status != shotstamp::files::CopyStatus::copied) {
                std::fprintf(stderr, "%s: %s\n", f.from.c_str(), f.result.message.c_str());
                std::exit(1);
            }
        }
        tidy(target);
        return seconds;
    };
    // The contenders take turns within each round, so that a busy moment of the shared machine
    // falls on all of them alike; the median round counts.
    std::vector<double> cp, cpSync, cli, otherCli, single, queued;
    for (int round = 0; round < rounds; ++round) {
        cp.push_back(plainCopy("cp -r", ""));
        cpSync.push_back(plainCopy("cp -r then sync", " && sync"));
        cli.push_back(cliCopy(SHOTSTAMP_CLI_PATH, "shotstamp-cli rename --copy --into"));
        if (!other.empty()) {
            otherCli.push_back(cliCopy(other, "the other shotstamp-cli"));
        }
        single.push_back(checkedCopies("checked copy, one at a time", false));
        queued.push_back(checkedCopies("checked copy, 16 in flight", true));
    }
    std::printf("median of %d:\n", rounds);
    report("cp -r", median(cp));
    report("cp -r then sync", median(cpSync));
    report("shotstamp-cli rename --copy --into", median(cli));
    if (!other.empty()) {
        report("the other shotstamp-cli", median(otherCli));
    }
    report("checked copy, one at a time", median(single));
    report("checked copy, 16 in flight", median(queued));
    const auto share = [&](const char* what, double seconds) {
        std::printf("%-36s %4.0f%% of cp -r, %4.0f%% of cp -r then sync\n", what,
                    100.0 * median(cp) / seconds, 100.0 * median(cpSync) / seconds);
    };
    share("shotstamp-cli rename --copy --into", median(cli));
    if (!other.empty()) {
        share("the other shotstamp-cli", median(otherCli));
    }
    share("checked copy, one at a time", median(single));
    share("checked copy, 16 in flight", median(queued));
    return 0;
}

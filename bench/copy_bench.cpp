// The checked copy of --copy over N files next to cp copying the same files: all read a warm
// source; the checked copy also flushes each file to the device and reads it back to compare,
// so it is measured against `cp` alone and `cp` followed by `sync`, one copy at a time and
// with the flushes of 16 copies overlapped (the queue the command uses).
//
// usage: copy_bench [N] [size in KiB] [target folder]  (defaults: 1000 files of 2048 KiB, a
// fresh folder beside the sources; give a folder on another file system to cross one)
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

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const long kib = argc > 2 ? std::atol(argv[2]) : 2048;
    shotstamp::testing::TempFolder work;
    const std::string base = argc > 3 ? std::string(argv[3]) + "/" : work.path();
    const std::string source = work.path() + "card/";
    ::mkdir(source.c_str(), 0755);

    std::mt19937 random(7);
    std::string bytes(static_cast<std::size_t>(kib) * 1024, '\0');
    for (int i = 0; i < count; ++i) {
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        shotstamp::testing::writeFile(source + "IMG_" + std::to_string(i) + ".JPG", bytes);
    }
    const double megabytes = static_cast<double>(count) * static_cast<double>(kib) / 1024.0;
    runShell("cat '" + source + "'* > /dev/null"); // a warm source for every contender

    auto fresh = [&](const char* name) {
        const std::string folder = base + name + "/";
        std::filesystem::remove_all(folder);
        ::mkdir(folder.c_str(), 0755);
        return folder;
    };
    auto report = [&](const char* what, double seconds) {
        std::printf("%-34s %8.2f s %9.1f MB/s\n", what, seconds, megabytes / seconds);
        return seconds;
    };
    std::printf("%d files of %ld KiB (%.0f MB) into %s\n", count, kib, megabytes, base.c_str());

    // Each contender runs three times, alternating; the best run counts (the machine is shared).
    auto plainCopy = [&](const char* what, const char* after) {
        runShell("sync");
        const std::string folder = fresh("cp");
        const double seconds =
            report(what, runShell("cp '" + source + "'* '" + folder + "'" + after));
        std::filesystem::remove_all(folder);
        runShell("sync");
        return seconds;
    };
    auto checkedCopies = [&](const char* what, bool queued) {
        const std::string target = fresh("checked");
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
        std::filesystem::remove_all(target);
        runShell("sync");
        return seconds;
    };
    double cp = 1e9;
    double cpSync = 1e9;
    double single = 1e9;
    double queued = 1e9;
    for (int round = 0; round < 3; ++round) {
        cp = std::min(cp, plainCopy("cp", ""));
        cpSync = std::min(cpSync, plainCopy("cp then sync", " && sync"));
        single = std::min(single, checkedCopies("checked copy, one at a time", false));
        queued = std::min(queued, checkedCopies("checked copy, 16 in flight", true));
    }
    std::printf("best of three:\n");
    report("cp", cp);
    report("cp then sync", cpSync);
    report("checked copy, one at a time", single);
    report("checked copy, 16 in flight", queued);
    std::printf("checked copy, one at a time: %.0f%% of cp, %.0f%% of cp then sync\n",
                100.0 * cp / single, 100.0 * cpSync / single);
    std::printf("checked copy, 16 in flight:  %.0f%% of cp, %.0f%% of cp then sync "
                "(target: 80%% of cp)\n",
                100.0 * cp / queued, 100.0 * cpSync / queued);
    return 0;
}

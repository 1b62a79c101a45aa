// The checked copy of --copy over N files next to cp copying the same files: both read a warm
// source; the checked copy also flushes each file to the device and reads it back to compare,
// so the comparison is made with `cp` alone and with `cp` followed by `sync`.
//
// usage: copy_bench [N] [size in KiB] [target folder]  (defaults: 1000 files of 2048 KiB, a
// fresh folder beside the sources; give a folder on another file system to cross one)
#include "platform/files.h"
#include "tests/support/test_files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>

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

    runShell("sync");
    const std::string cpFolder = fresh("cp");
    const double cp = report("cp", runShell("cp '" + source + "'* '" + cpFolder + "'"));
    std::filesystem::remove_all(cpFolder);
    runShell("sync");
    const std::string cpSyncFolder = fresh("cp-sync");
    const double cpSync =
        report("cp then sync", runShell("cp '" + source + "'* '" + cpSyncFolder + "' && sync"));
    std::filesystem::remove_all(cpSyncFolder);
    runShell("sync");

    const std::string target = fresh("checked");
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const std::string name = "IMG_" + std::to_string(i) + ".JPG";
        const shotstamp::files::CopyResult result = shotstamp::files::copyNoReplace(
            source + name, target + name, shotstamp::files::temporaryCopyPath(target + name));
        if (result.status != shotstamp::files::CopyStatus::copied) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), result.message.c_str());
            return 1;
        }
    }
    const double checked = report("checked copy (sync + compare)", secondsSince(start));
    std::printf("checked copy rate: %.0f%% of cp, %.0f%% of cp then sync (target: 80%% of cp)\n",
                100.0 * cp / checked, 100.0 * cpSync / checked);
    std::filesystem::remove_all(target);
    return 0;
}

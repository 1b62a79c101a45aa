// "All in Path" over N pictures with distinct dates, next to a baseline that does the least any
// renamer must (open, walk the segment lengths to the start of scan, close, rename without
// replacing) and, where installed, exiftool renaming the same kind of folder.
//
// usage: rename_bench [N] [path of shotstamp-cli]  (N defaults to 10000, the program to the one
// built beside this benchmark)
#include "baseline.h"
#include "rename/companions.h"
#include "rename/folder_walk.h"
#include "rename/journal.h"
#include "rename/marked_file_list.h"
#include "rename/rename_commands.h"
#include "tests/support/test_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::baseline;
using bench::moveNoReplace;
using bench::namesIn;
using bench::runProgram;

using Clock = std::chrono::steady_clock;
using shotstamp::testing::jpegWithExif;
using shotstamp::testing::writeFile;

void fillFolder(const std::string& folder, int count) {
    ::mkdir(folder.c_str(), 0755);
    for (int i = 0; i < count; ++i) {
        char date[32];
        // Distinct seconds from 2001-01-01 on: the day varies fastest beyond a day.
        std::snprintf(date, sizeof date, "20%02d:%02d:%02d %02d:%02d:%02d", 1 + i / 86400 % 90,
                      1 + i / 86400 / 90 % 12, 1, i / 3600 % 24, i / 60 % 60, i % 60);
        writeFile(folder + "IMG_" + std::to_string(i) + ".JPG", jpegWithExif(date, "bench"));
    }
}

class Counter final : public shotstamp::RenameObserver {
public:
    void onOutcome(const shotstamp::RenameOutcome& o) override {
        renamed += o.kind == shotstamp::RenameKind::renamed ? 1 : 0;
    }
    int renamed = 0;
};

int shotstampAllInPath(const std::string& folder) {
    shotstamp::FixedPrefix prefix("");
    Counter counter;
    shotstamp::RenameCommands commands(
        [&] {
            return std::make_unique<shotstamp::ArgumentEntryList>(std::vector{folder + "x.jpg"});
        },
        prefix, [] {}, &counter);
    commands.renameAllInPath();
    return counter.renamed;
}

// shotstamp-cli rename FOLDER in process: the folder walk, with a journal and companions when
// asked.
int shotstampFolder(const std::string& folder, shotstamp::MoveJournal* journal, bool companions) {
    shotstamp::FixedPrefix prefix("");
    Counter counter;
    shotstamp::CompanionIndex index(shotstamp::realFileSystem());
    shotstamp::RenameCommands commands(
        [&] {
            return std::make_unique<shotstamp::FolderWalkList>(std::vector{folder}, false,
                                                               shotstamp::realFileSystem());
        },
        prefix, [] {}, &counter);
    shotstamp::RenameOptions options;
    options.journal = journal;
    options.companions = companions ? &index : nullptr;
    commands.setOptions(options);
    commands.renameMarked();
    return counter.renamed;
}

template <typename Body> double timed(Body body, int& result) {
    const auto start = Clock::now();
    result = body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string cli = argc > 2 ? argv[2] : SHOTSTAMP_CLI_PATH;
    shotstamp::testing::TempFolder root;
    if (root.path().empty() || count <= 0) {
        std::fprintf(stderr, "rename_bench: cannot make a temporary folder\n");
        return 1;
    }
    const std::string base = root.path() + "baseline/";
    const std::string ours = root.path() + "shotstamp/";
    fillFolder(base, count);
    fillFolder(ours, count);

    int baseRenamed = 0;
    int ourRenamed = 0;
    const double baseSeconds = timed([&] { return baseline(base); }, baseRenamed);
    const double ourSeconds = timed([&] { return shotstampAllInPath(ours); }, ourRenamed);
    const double baseRate = baseRenamed / baseSeconds;
    const double ourRate = ourRenamed / ourSeconds;

    std::printf("pictures: %d\n", count);
    std::printf("baseline (open, walk segments, close, renameat2): %d renamed, %.0f files/s\n",
                baseRenamed, baseRate);
    std::printf("shotstamp All in Path (in process): %d renamed, %.0f files/s, %.2f of baseline\n",
                ourRenamed, ourRate, ourRate / baseRate);

    // The options of shotstamp-cli on fresh folders of the same pictures, each measured three
    // times in turn after the new files are written out; the median rate counts.
    {
        struct Variant {
            const char* what;
            bool journal;
            bool companions;
            bool companionFiles;
            std::vector<double> rates;
        };
        Variant variants[] = {{"plain", false, false, false, {}},
                              {"with journal", true, false, false, {}},
                              {"--companions, none there", false, true, false, {}},
                              {"--companions, .CR2 + .JPG.xmp each", false, true, true, {}}};
        int serial = 0;
        for (int round = 0; round < 3; ++round) {
            for (Variant& v : variants) {
                const std::string folder = root.path() + "v" + std::to_string(++serial) + "/";
                fillFolder(folder, count);
                for (int i = 0; i < count && v.companionFiles; ++i) {
                    writeFile(folder + "IMG_" + std::to_string(i) + ".CR2", "raw");
                    writeFile(folder + "IMG_" + std::to_string(i) + ".JPG.xmp", "<x/>");
                }
                const std::string state = root.path() + "state" + std::to_string(serial) + "/";
                ::mkdir(state.c_str(), 0755);
                shotstamp::RunJournal runJournal(state, "bench");
                ::sync();
                int renamed = 0;
                const double seconds = timed(
                    [&] {
                        return shotstampFolder(folder, v.journal ? &runJournal : nullptr,
                                               v.companions);
                    },
                    renamed);
                v.rates.push_back(renamed == count ? renamed / seconds : 0.0);
            }
        }
        const auto median = [](std::vector<double> r) {
            std::sort(r.begin(), r.end());
            return r[r.size() / 2];
        };
        const double plain = median(variants[0].rates);
        for (const Variant& v : variants) {
            const double rate = median(v.rates);
            std::printf("shotstamp rename FOLDER %s: %.0f pictures/s (median of 3), %.2f of "
                        "baseline, %+.0f%% time against plain\n",
                        v.what, rate, rate / baseRate, (plain / rate - 1) * 100);
        }
    }

    if (!cli.empty()) {
        const std::string viaCli = root.path() + "cli/";
        fillFolder(viaCli, count);
        long peak = 0;
        // Its journal goes into the benchmark's folder, not the user's.
        ::setenv("XDG_STATE_HOME", root.path().c_str(), 1);
        const double seconds = runProgram({cli, "rename", "--all-in-path", viaCli + "x.jpg"}, peak);
        std::printf("shotstamp-cli rename --all-in-path: %.0f files/s, %.2f of baseline, "
                    "peak resident memory %.2f MB\n",
                    count / seconds, count / seconds / baseRate, peak / 1024.0);
    }
    if (std::system("command -v exiftool >/dev/null 2>&1") == 0) {
        const std::string viaExiftool = root.path() + "exiftool/";
        fillFolder(viaExiftool, count);
        long peak = 0;
        const double seconds = runProgram({"exiftool", "-q", "-FileName<DateTimeOriginal", "-d",
                                           "%Y-%m-%d %H%M%S.jpg", viaExiftool},
                                          peak);
        std::printf("exiftool: %.0f files/s, peak resident memory %.2f MB\n", count / seconds,
                    peak / 1024.0);
    } else {
        std::printf("exiftool: not installed\n");
    }
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    std::printf("benchmark process peak resident memory (setup included): %.2f MB\n",
                self.ru_maxrss / 1024.0);
    return 0;
}

// shotstamp-cli renaming folders of camera-like JPEGs, printed as one table: the serial no-parse
// baseline, Shotstamp and, where installed, exiv2 and exiftool, on a warm and a cold local disk
// and on a pass-through FUSE file system that waits in every open (bench/slow_fs), with peak
// memory, system calls per file and bytes read per file. Every Shotstamp run's outcome (the
// folder's names and each file's bytes) is checked against a --jobs 1 run on the same files.
// bench/README.md explains each column.
//
// usage: rename_bench [N] [--sizes N,...] [--share-sizes N,...] [--latencies US,...]
//                     [--no-cold] [--no-peers] [--strace-max N] [--repeat K] [--million]
//                     [--variants] [--cli PATH] [--slow-fs PATH] [--folder DIR]
//        rename_bench --fill DIR/ N camera|tiny   (only makes a folder of such pictures)
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
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using bench::baseline;
using bench::moveNoReplace;
using bench::namesIn;
using bench::resetNames;
using Clock = std::chrono::steady_clock;

// About what a camera puts in front of the image: the Exif block with its thumbnail.
constexpr std::size_t kHeaderPadding = 16 * 1024;

std::string dateOf(int i) {
    // Distinct seconds from 2001-01-01 on, for up to 90 years of days.
    char date[32];
    std::snprintf(date, sizeof date, "20%02d:%02d:%02d %02d:%02d:%02d", 1 + i / 86400 % 90,
                  1 + i / 86400 / 90 % 12, 1, i / 3600 % 24, i / 60 % 60, i % 60);
    return date;
}

std::string cameraPicture(int i) {
    std::string bytes =
        shotstamp::testing::jpegWithExif(dateOf(i), std::string(kHeaderPadding, 'c'));
    bytes.append(4096, '\x55'); // some compressed image data behind the header
    return bytes;
}

std::string tinyPicture(int i) {
    return shotstamp::testing::jpegWithExif(dateOf(i), "bench");
}

bool fillFolder(const std::string& folder, int count, bool tiny) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored); // left by an interrupted run
    if (::mkdir(folder.c_str(), 0755) != 0) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        shotstamp::testing::writeFile(folder + "IMG_" + std::to_string(i) + ".JPG",
                                      tiny ? tinyPicture(i) : cameraPicture(i));
    }
    return namesIn(folder).size() == std::size_t(count);
}

// The folder's names with a checksum of each file's bytes, sorted: what a run left.
using Outcome = std::vector<std::pair<std::string, std::uint64_t>>;

Outcome outcomeOf(const std::string& folder) {
    Outcome out;
    std::vector<char> buffer(64 * 1024);
    for (std::string& name : namesIn(folder)) {
        std::uint64_t h = 1469598103934665603ULL; // FNV-1a
        const int fd = ::open((folder + name).c_str(), O_RDONLY | O_CLOEXEC);
        for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
            for (ssize_t i = 0; i < got; ++i) {
                h = (h ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ULL;
            }
        }
        if (fd >= 0) {
            ::close(fd);
        }
        out.emplace_back(std::move(name), h);
    }
    std::sort(out.begin(), out.end());
    return out;
}

void dropCaches() {
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
}

bool canDropCaches() {
    return std::ofstream("/proc/sys/vm/drop_caches").good();
}

bool installed(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// What one run of a program cost.
struct Run {
    bool ok = false;
    double seconds = 0;
    long peakKiB = 0;
    long long bytesRead = 0; // rchar: bytes that read-like system calls returned
};

// The descriptor on which a measuring process reports what its program cost.
constexpr int kReportFd = 3;

// Runs a program, waits for it and writes its time, bytes read, peak memory and exit status to
// kReportFd. The benchmark starts its programs through this small, freshly started process: the
// peak memory a process reports includes what it held before its exec, so a program forked
// straight from the benchmark (which holds every name and checksum of a million-file folder)
// would report the benchmark's memory instead of its own.
int measure(char** args) {
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(kReportFd);
        ::execvp(args[0], args);
        ::_exit(127);
    }
    // The child's counters are read while it is a zombie, before it is reaped.
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    long long bytesRead = 0;
    std::ifstream io("/proc/" + std::to_string(child) + "/io");
    for (std::string key; io >> key;) {
        long long value = 0;
        io >> value;
        if (key == "rchar:") {
            bytesRead = value;
        }
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const std::string report = std::to_string(seconds) + " " + std::to_string(bytesRead) + " " +
                               std::to_string(usage.ru_maxrss) + " " +
                               std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 255) + "\n";
    return ::write(kReportFd, report.data(), report.size()) == ssize_t(report.size()) ? 0 : 1;
}

// Runs a program in `folder` with its output discarded; exit statuses above worstStatus fail.
Run runIn(const std::vector<std::string>& args, const std::string& folder, int worstStatus = 0) {
    Run run;
    int report[2];
    if (::pipe(report) != 0) {
        return run;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        // Only the measuring process may hold the pipe open, under kReportFd alone.
        const int writeEnd = report[1] == kReportFd ? report[1] : ::dup(report[1]);
        for (const int fd : report) {
            if (fd != writeEnd) {
                ::close(fd);
            }
        }
        ::dup2(writeEnd, kReportFd);
        if (writeEnd != kReportFd) {
            ::close(writeEnd);
        }
        if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
            ::_exit(126);
        }
        std::vector<char*> argv{const_cast<char*>("/proc/self/exe"),
                                const_cast<char*>("--measure")};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(report[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    int exitStatus = 255;
    std::istringstream(text) >> run.seconds >> run.bytesRead >> run.peakKiB >> exitStatus;
    run.ok =
        WIFEXITED(status) && WEXITSTATUS(status) == 0 && !text.empty() && exitStatus <= worstStatus;
    return run;
}

Run median(std::vector<Run> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
}

// System calls by name that `strace -c -f` counted for a program.
std::map<std::string, long> countCalls(const std::vector<std::string>& args,
                                       const std::string& scratch) {
    const std::string report = scratch + "strace.txt";
    std::vector<std::string> traced{"strace", "-f", "-c", "-o", report};
    traced.insert(traced.end(), args.begin(), args.end());
    runIn(traced, {}, 255);
    std::map<std::string, long> calls;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string w; fields >> w;) {
            words.push_back(w);
        }
        // "% time, seconds, usecs/call, calls, [errors,] syscall"
        if (words.size() >= 5 && std::isdigit(static_cast<unsigned char>(words[0][0])) &&
            words.back() != "total") {
            calls[words.back()] += std::atol(words[3].c_str());
        }
    }
    ::unlink(report.c_str());
    return calls;
}

// A mounted bench/slow_fs, unmounted when it goes.
class SlowShare {
public:
    SlowShare(const std::string& program, const std::string& source, const std::string& mount,
              int micros)
        : mount_(mount) {
        ::mkdir(mount.c_str(), 0755);
        mounted_ = runIn({program, source, mount, std::to_string(micros)}, {}).ok;
    }
    ~SlowShare() {
        if (mounted_) {
            runIn({"fusermount3", "-u", mount_}, {});
        }
        ::rmdir(mount_.c_str());
    }
    SlowShare(const SlowShare&) = delete;
    SlowShare& operator=(const SlowShare&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string mount_;
    bool mounted_ = false;
};

struct Settings {
    std::vector<int> sizes{10000, 100000};
    std::vector<int> shareSizes{10000};
    std::vector<int> latencies{0, 200, 1000, 5000};
    bool cold = true;
    bool peers = true;
    int peersMax = 10000;
    int straceMax = 10000;
    int repeat = 1;
    bool million = false;
    bool variants = false;
    std::string cli = SHOTSTAMP_CLI_PATH;
    std::string slowFs = SHOTSTAMP_SLOW_FS_PATH;
    std::string self;
    std::string root;
};

class Bench {
public:
    explicit Bench(const Settings& s) : s_(s) {
        ::setenv("XDG_STATE_HOME", (s_.root + "state").c_str(), 1); // journals stay in here
        ::mkdir((s_.root + "state").c_str(), 0755);
        hasExiv2_ = s_.peers && installed("exiv2");
        hasExiftool_ = s_.peers && installed("exiftool");
        hasStrace_ = installed("strace");
        const std::string empty = s_.root + "empty/";
        ::mkdir(empty.c_str(), 0755);
        // Start-up costs, taken off each run's counts.
        emptyRead_ = runIn(shotstampArgs(empty, false), {}, 1).bytesRead;
        if (hasStrace_) {
            emptyCalls_ = countCalls(shotstampArgs(empty, false), s_.root);
        }
    }

    void header() const {
        std::printf("%8s %-13s %10s %11s %7s %7s %15s %15s %6s %10s %10s %s\n", "N", "storage",
                    "baseline/s", "shotstamp/s", "x base", "x 0 ms", "exiv2/s (x)",
                    "exiftool/s (x)", "RSS MB", "calls/file", "bytes/file", "outcome");
    }

    // One row: the folder's pictures renamed by each program in turn. `share` is the slow_fs
    // latency in microseconds, or empty for the local disk.
    bool row(const std::string& folder, int count, bool cold, std::optional<int> share,
             const Outcome& expected) {
        std::string where = folder;
        std::optional<SlowShare> mount;
        const std::string point = s_.root + "share/";
        const auto mountShare = [&](int micros) {
            mount.emplace(s_.slowFs, folder, point, micros); // unmounts the one before
            if (!mount->mounted()) {
                std::fprintf(stderr, "rename_bench: cannot mount %s\n", s_.slowFs.c_str());
                return false;
            }
            return true;
        };
        if (share) {
            if (!mountShare(*share)) {
                return false;
            }
            where = point;
        }
        const auto prepare = [&] {
            resetNames(where);
            cold ? dropCaches() : void(namesIn(where));
        };
        // Each program s_.repeat times in turn; the run of median time counts, and every run of
        // Shotstamp's is checked. A share that waits is also run waiting 0 ms in each round, on
        // a fresh mount just after, so that the ratio of the two compares runs a minute apart
        // at most: the machine's pace drifts by about a tenth over the minutes between rows.
        const bool paired = share && *share > 0;
        std::vector<Run> bases;
        std::vector<Run> ourRuns;
        std::vector<Run> zeroRuns;
        bool same = true;
        for (int round = 0; round < s_.repeat; ++round) {
            prepare();
            bases.push_back(runIn(baselineArgs(where), {}));
            prepare();
            ourRuns.push_back(runIn(shotstampArgs(where, false), {}));
            same = same && ourRuns.back().ok && outcomeOf(folder) == expected;
            if (paired) {
                if (!mountShare(0)) {
                    return false;
                }
                prepare();
                zeroRuns.push_back(runIn(shotstampArgs(where, false), {}));
                same = same && zeroRuns.back().ok && outcomeOf(folder) == expected;
                if (!mountShare(*share)) {
                    return false;
                }
            }
        }
        const Run base = median(bases);
        const Run ours = median(ourRuns);
        const int peersUpTo = share ? 0 : s_.peersMax;
        const std::string exiv2 = peer(hasExiv2_ && count <= peersUpTo, where, true, prepare, ours);
        const std::string exiftool =
            peer(hasExiftool_ && count <= peersUpTo, where, false, prepare, ours);
        std::string calls = "-";
        if (hasStrace_ && !cold && count <= s_.straceMax) {
            prepare();
            const auto counted = countCalls(shotstampArgs(where, false), s_.root);
            long total = 0;
            for (const auto& [name, n] : counted) {
                total += n - (emptyCalls_.count(name) ? emptyCalls_.at(name) : 0);
            }
            calls = fixed(double(total) / count, 1);
            if (!share && !breakdownShown_) {
                // Traced, every call is slow: the program's own choice then reads with workers,
                // so the serial path is counted too.
                prepare();
                const auto serial = countCalls(shotstampArgs(where, true), s_.root);
                breakdown_ = "  default:  " + breakdownText(counted, count) +
                             "\n  --jobs 1: " + breakdownText(serial, count);
                breakdownShown_ = true;
            }
        }
        std::string vsZero = "-";
        if (paired) {
            vsZero = fixed(ours.seconds / median(zeroRuns).seconds, 2);
        } else if (share) {
            vsZero = "1.00";
        }
        const std::string storage = share  ? "share " + fixed(*share / 1000.0, 1) + " ms"
                                    : cold ? "local cold"
                                           : "local warm";
        std::printf("%8d %-13s %10.0f %11.0f %7.2f %7s %15s %15s %6.1f %10s %10.0f %s\n", count,
                    storage.c_str(), count / base.seconds, count / ours.seconds,
                    base.seconds / ours.seconds, vsZero.c_str(), exiv2.c_str(), exiftool.c_str(),
                    ours.peakKiB / 1024.0, calls.c_str(),
                    double(ours.bytesRead - emptyRead_) / count,
                    same ? "= --jobs 1" : "DIFFERS from --jobs 1");
        std::fflush(stdout);
        resetNames(where);
        return same && base.ok;
    }

    // The --jobs 1 run that every other run is compared with.
    Outcome reference(const std::string& folder) {
        resetNames(folder);
        runIn(shotstampArgs(folder, true), {});
        Outcome out = outcomeOf(folder);
        resetNames(folder);
        return out;
    }

    const std::string& breakdown() const { return breakdown_; }

    std::vector<std::string> shotstampArgs(const std::string& folder, bool serial) const {
        std::vector<std::string> args{s_.cli, "rename"};
        if (serial) {
            args.insert(args.end(), {"--jobs", "1"});
        }
        args.push_back(folder);
        return args;
    }

    std::vector<std::string> baselineArgs(const std::string& folder) const {
        return {s_.self, "--run-baseline", folder};
    }

    static std::string fixed(double value, int digits) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*f", digits, value);
        return text;
    }

private:
    // A peer renaming the same pictures by their DateTimeOriginal: its files per second and how
    // many times Shotstamp's time it took.
    template <typename Prepare>
    std::string peer(bool run, const std::string& folder, bool exiv2, Prepare prepare,
                     const Run& ours) {
        if (!run) {
            return "-";
        }
        prepare();
        const std::vector<std::string> names = namesIn(folder);
        std::vector<std::string> base =
            exiv2 ? std::vector<std::string>{"exiv2", "-q", "-r", "%Y-%m-%d %H%M%S", "rename"}
                  : std::vector<std::string>{"exiftool", "-q", "-FileName<DateTimeOriginal", "-d",
                                             "%Y-%m-%d %H%M%S.jpg"};
        double seconds = 0;
        bool ok = true;
        // exiftool takes the folder; exiv2 takes files, given a few thousand per call.
        if (!exiv2) {
            base.push_back(".");
            const Run r = runIn(base, folder, 1);
            seconds = r.seconds;
            ok = r.ok;
        } else {
            for (std::size_t first = 0; first < names.size(); first += 4000) {
                std::vector<std::string> args = base;
                const std::size_t last = std::min(names.size(), first + 4000);
                args.insert(args.end(), names.begin() + long(first), names.begin() + long(last));
                const Run r = runIn(args, folder, 1);
                seconds += r.seconds;
                ok = ok && r.ok;
            }
        }
        if (!ok) {
            return "failed";
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.0f (%.1f)", double(names.size()) / seconds,
                      seconds / ours.seconds);
        return text;
    }

    std::string breakdownText(const std::map<std::string, long>& counted, int count) const {
        std::string text;
        long total = 0;
        for (const auto& [name, n] : counted) {
            const long extra = n - (emptyCalls_.count(name) ? emptyCalls_.at(name) : 0);
            total += extra;
            if (extra * 100 >= count) { // at least one per hundred files
                text += " " + name + " " + fixed(double(extra) / count, 2);
            }
        }
        return "total " + fixed(double(total) / count, 2) + ":" + text;
    }

    const Settings& s_;
    bool hasExiv2_ = false;
    bool hasExiftool_ = false;
    bool hasStrace_ = false;
    long long emptyRead_ = 0;
    std::map<std::string, long> emptyCalls_;
    bool breakdownShown_ = false;
    std::string breakdown_;
};

// 1,000,000 tiny pictures against 10,000 of the same kind: time per file and peak memory.
bool millionRun(Bench& bench, const Settings& s) {
    std::printf("\ntiny pictures (%zu bytes each), warm, journal on:\n", tinyPicture(0).size());
    std::printf("%8s %12s %12s %8s %s\n", "N", "us/file", "x 10,000", "RSS MB", "outcome");
    double small = 0;
    bool allSame = true;
    for (const int count : {10000, 1000000}) {
        const std::string folder = s.root + "tiny-" + std::to_string(count) + "/";
        if (!fillFolder(folder, count, true)) {
            std::fprintf(stderr, "rename_bench: cannot fill %s\n", folder.c_str());
            return false;
        }
        const Outcome expected = bench.reference(folder);
        namesIn(folder);
        const Run run = runIn(bench.shotstampArgs(folder, false), {});
        const bool same = run.ok && outcomeOf(folder) == expected;
        allSame = allSame && same;
        const double perFile = run.seconds / count * 1e6;
        small = small > 0 ? small : perFile;
        std::printf("%8d %12.1f %12.2f %8.1f %s\n", count, perFile, perFile / small,
                    run.peakKiB / 1024.0, same ? "= --jobs 1" : "DIFFERS from --jobs 1");
        std::fflush(stdout);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    return allSame;
}

class Counter final : public shotstamp::RenameObserver {
public:
    void onOutcome(const shotstamp::RenameOutcome& o) override {
        renamed += o.kind == shotstamp::RenameKind::renamed ? 1 : 0;
    }
    int renamed = 0;
};

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

// The options of the rename command in process on fresh folders of tiny pictures, each measured
// three times in turn; the median rate counts.
void variantRuns(const std::string& root, int count) {
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
    std::printf("\nin process, %d tiny pictures:\n", count);
    int serial = 0;
    for (int round = 0; round < 3; ++round) {
        for (Variant& v : variants) {
            const std::string folder = root + "v" + std::to_string(++serial) + "/";
            fillFolder(folder, count, true);
            for (int i = 0; i < count && v.companionFiles; ++i) {
                shotstamp::testing::writeFile(folder + "IMG_" + std::to_string(i) + ".CR2", "raw");
                shotstamp::testing::writeFile(folder + "IMG_" + std::to_string(i) + ".JPG.xmp",
                                              "<x/>");
            }
            const std::string state = root + "state" + std::to_string(serial) + "/";
            ::mkdir(state.c_str(), 0755);
            shotstamp::RunJournal runJournal(state, "bench");
            ::sync();
            const auto start = Clock::now();
            const int renamed =
                shotstampFolder(folder, v.journal ? &runJournal : nullptr, v.companions);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            v.rates.push_back(renamed == count ? renamed / seconds : 0.0);
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    }
    const auto median = [](std::vector<double> r) {
        std::sort(r.begin(), r.end());
        return r[r.size() / 2];
    };
    const double plain = median(variants[0].rates);
    for (const Variant& v : variants) {
        const double rate = median(v.rates);
        std::printf("  %-36s %8.0f pictures/s (median of 3), %+.0f%% time against plain\n", v.what,
                    rate, (plain / rate - 1) * 100);
    }
}

std::vector<int> parseList(const char* text) {
    std::vector<int> values;
    for (const char* p = text; *p != '\0';) {
        char* end = nullptr;
        const long n = std::strtol(p, &end, 10);
        if (end == p || n < 0) {
            return {};
        }
        values.push_back(static_cast<int>(n));
        p = *end == ',' ? end + 1 : end;
    }
    return values;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--measure") == 0) {
        return measure(argv + 2);
    }
    if (argc == 3 && std::strcmp(argv[1], "--run-baseline") == 0) {
        return baseline(argv[2]) == int(namesIn(argv[2]).size()) ? 0 : 1;
    }
    // A folder of the benchmark's pictures to try things on by hand.
    if (argc == 5 && std::strcmp(argv[1], "--fill") == 0) {
        return fillFolder(argv[2], std::atoi(argv[3]), std::strcmp(argv[4], "tiny") == 0) ? 0 : 1;
    }
    Settings s;
    s.self = argv[0];
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--sizes" && hasValue) {
            s.sizes = parseList(argv[++i]);
        } else if (a == "--share-sizes" && hasValue) {
            s.shareSizes = parseList(argv[++i]);
        } else if (a == "--latencies" && hasValue) {
            s.latencies = parseList(argv[++i]);
        } else if (a == "--strace-max" && hasValue) {
            s.straceMax = std::atoi(argv[++i]);
        } else if (a == "--repeat" && hasValue) {
            s.repeat = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--cli" && hasValue) {
            s.cli = argv[++i];
        } else if (a == "--slow-fs" && hasValue) {
            s.slowFs = argv[++i];
        } else if (a == "--folder" && hasValue) {
            s.root = argv[++i];
        } else if (a == "--no-cold") {
            s.cold = false;
        } else if (a == "--no-peers") {
            s.peers = false;
        } else if (a == "--million") {
            s.million = true;
        } else if (a == "--variants") {
            s.variants = true;
        } else if (std::isdigit(static_cast<unsigned char>(a[0])) != 0) {
            s.sizes = parseList(a.c_str());
            s.shareSizes = s.sizes;
        } else {
            std::fprintf(
                stderr,
                "usage: rename_bench [N] [--sizes N,...] [--share-sizes N,...] "
                "[--latencies US,...] [--no-cold] [--no-peers] [--strace-max N] [--repeat K] "
                "[--million] [--variants] [--cli PATH] [--slow-fs PATH] "
                "[--folder DIR]\n");
            return 2;
        }
    }
    shotstamp::testing::TempFolder temporary;
    if (s.root.empty()) {
        s.root = temporary.path();
    } else {
        s.root += s.root.back() == '/' ? "" : "/";
    }
    if (s.root.empty() || s.sizes.empty()) {
        std::fprintf(stderr, "rename_bench: no folder or no sizes\n");
        return 1;
    }
    if (s.cold && !canDropCaches()) {
        std::printf("cold: not measured (the page cache can be dropped only as root)\n");
        s.cold = false;
    }
    const bool share = !s.slowFs.empty() && installed("fusermount3") &&
                       ::access("/dev/fuse", R_OK | W_OK) == 0 &&
                       ::access(s.slowFs.c_str(), X_OK) == 0;
    if (!share) {
        std::printf("slow share: not measured (needs bench/slow_fs, fusermount3 and /dev/fuse)\n");
    }
    std::printf("pictures: %zu bytes each (Exif block with a 16 KiB thumbnail-like filler, 4 KiB "
                "of image data); shotstamp-cli rename FOLDER, default options, journal on\n",
                cameraPicture(0).size());

    Bench bench(s);
    bench.header();
    bool allSame = true;
    std::vector<int> sizes = s.sizes;
    for (const int n : s.shareSizes) {
        if (std::find(sizes.begin(), sizes.end(), n) == sizes.end()) {
            sizes.push_back(n);
        }
    }
    for (const int count : sizes) {
        const std::string folder = s.root + "pictures-" + std::to_string(count) + "/";
        if (!fillFolder(folder, count, false)) {
            std::fprintf(stderr, "rename_bench: cannot fill %s\n", folder.c_str());
            return 1;
        }
        const Outcome expected = bench.reference(folder);
        const bool local = std::find(s.sizes.begin(), s.sizes.end(), count) != s.sizes.end();
        for (const bool cold : {false, true}) {
            if (local && (!cold || s.cold)) {
                allSame = bench.row(folder, count, cold, std::nullopt, expected) && allSame;
            }
        }
        const bool shared = share && std::find(s.shareSizes.begin(), s.shareSizes.end(), count) !=
                                         s.shareSizes.end();
        for (const int latency : shared ? s.latencies : std::vector<int>{}) {
            allSame = bench.row(folder, count, false, latency, expected) && allSame;
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    if (!bench.breakdown().empty()) {
        std::printf("\nsystem calls per file (strace -c -f, start-up taken off), local warm, "
                    "first size:\n%s\n",
                    bench.breakdown().c_str());
    }
    if (s.million) {
        allSame = millionRun(bench, s) && allSame;
    }
    if (s.variants) {
        variantRuns(s.root, s.sizes.front());
    }
    if (!allSame) {
        std::printf("\nrename_bench: a run's outcome differs from the --jobs 1 run\n");
        return 1;
    }
    return 0;
}

// Reading headers ahead must not change a single outcome: the same hostile folder, renamed with
// one picture read at a time and with workers reading ahead, gives the same report (reader
// messages included, in place) and leaves the same folder; so does a dry run. The first outcome
// waits a moment, so that the workers have read the whole folder before anything is renamed.
// Left to choose (0 jobs), the program reads these cached headers on one worker beside the
// renames.
#include "metadata/picture_reader.h"
#include "rename/marked_file_list.h"
#include "rename/read_ahead.h"
#include "rename/rename_commands.h"
#include "rename_test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace shotstamp {
namespace {

using testing::jpegWithExif;
using testing::TempFolder;
using testing::writeFile;

std::vector<std::string> report;

void noteReaderLine(std::string_view line) {
    report.push_back("reader: " + std::string(line));
}

std::string date(int second) {
    char text[32];
    std::snprintf(text, sizeof text, "2020:01:01 00:%02d:%02d", second / 60, second % 60);
    return text;
}

std::string named(int second) {
    char text[32];
    std::snprintf(text, sizeof text, "2020-01-01 00%02d%02d.jpg", second / 60, second % 60);
    return text;
}

// Writes the folder and gives the marked list: pictures that collide in threes, a name freed by
// one picture and taken by another and then marked again, a picture marked twice, the new name
// of an earlier picture, a picture that vanishes, names already right and unreadable files.
std::vector<std::string> makeHostileFolder(const std::string& folder) {
    std::vector<std::string> marked;
    for (int i = 0; i < 40; ++i) {
        const std::string name = std::string("x").append(std::to_string(i)).append(".jpg");
        writeFile(folder + name, jpegWithExif(date(i / 3), name));
        marked.push_back(folder + name);
    }
    writeFile(folder + named(5), jpegWithExif(date(50), "moves away"));
    marked.insert(marked.begin() + 3, folder + named(5));
    writeFile(folder + named(20), jpegWithExif(date(20), "already named"));
    writeFile(folder + "victim.jpg", jpegWithExif(date(30)));
    writeFile(folder + "text.jpg", "GIF89a");
    writeFile(folder + "eoi.jpg", std::string("\xFF\xD8\xFF\xD9\x00\x02", 6));
    writeFile(folder + "padding.jpg", "\xFF\xD8\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
    writeFile(folder + "truncated.jpg", jpegWithExif(date(31)).substr(0, 30));
    writeFile(folder + "noexif.jpg", testing::jpegWithoutExif());
    testing::makeFolder(folder + "dir.jpg");
    for (const std::string& name : std::vector<std::string>{
             named(0), "x1.jpg", named(5), "victim.jpg", "text.jpg", "eoi.jpg", "padding.jpg",
             "truncated.jpg", "noexif.jpg", "dir.jpg", named(20)}) {
        marked.push_back(folder + name);
    }
    // More than a window, so that later pictures are read while earlier ones are renamed.
    for (int i = 100; i < 160; ++i) {
        writeFile(folder + "y" + std::to_string(i) + ".jpg", jpegWithExif(date(i)));
        marked.push_back(folder + "y" + std::to_string(i) + ".jpg");
    }
    return marked;
}

class ReportingObserver final : public RenameObserver {
public:
    explicit ReportingObserver(std::string folder) : folder_(std::move(folder)) {}
    void onOutcome(const RenameOutcome& o) override {
        // Also once the worker that reads cached headers beside the renames has begun.
        if (outcomes_++ == 0 || outcomes_ == ReadAhead::kFewPictures + 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        report.push_back(std::string(reasonText(o.kind)) + ": " + o.oldPath.substr(folder_.size()) +
                         " -> " + o.newPath.substr(std::min(folder_.size(), o.newPath.size())) +
                         " " + o.systemMessage);
        if (report.size() == 3) {
            std::filesystem::remove(folder_ + "victim.jpg");
        }
    }

private:
    std::string folder_;
    std::size_t outcomes_ = 0;
};

struct Result {
    std::vector<std::string> report;
    std::map<std::string, std::uint64_t> contents;
};

Result renameHostileFolder(bool allInPath, bool dryRun, int jobs) {
    TempFolder dir;
    const std::vector<std::string> marked = makeHostileFolder(dir.path());
    report.clear();
    ReportingObserver observer(dir.path());
    FixedPrefix prefix("");
    DryRunFileSystem dryRunFiles(realFileSystem());
    RenameCommands commands([&] { return std::make_unique<ArgumentEntryList>(marked); }, prefix,
                            [] {}, &observer, dryRun ? &dryRunFiles : nullptr);
    commands.setJobs(jobs);
    setReaderMessageSink(&noteReaderLine);
    allInPath ? commands.renameAllInPath() : commands.renameMarked();
    setReaderMessageSink(nullptr);
    return {report, dir.contents()};
}

TEST(ReadAhead, HostileFolderGivesTheSerialReportAndFolder) {
    for (const int run : {0, 1, 2, 3}) {
        const bool allInPath = run % 2 == 1;
        const bool dryRun = run >= 2;
        SCOPED_TRACE(std::string(allInPath ? "All in Path" : "Just marked") +
                     (dryRun ? ", dry run" : ""));
        const Result serial = renameHostileFolder(allInPath, dryRun, 1);
        ASSERT_GT(serial.report.size(), 100u);
        ASSERT_EQ(
            std::count(serial.report.begin(), serial.report.end(), "reader: No image in jpeg!"), 1);
        for (const int jobs : {0, 2, 8}) {
            const Result ahead = renameHostileFolder(allInPath, dryRun, jobs);
            EXPECT_EQ(ahead.report, serial.report) << jobs << " jobs";
            EXPECT_EQ(ahead.contents, serial.contents) << jobs << " jobs";
        }
    }
}

// Files that answer at once for the first pictures, then wait in every open, as a folder on a
// cold disk does after one in the cache, or as a share does; counts the opens in flight.
class TurningColdFiles final : public testing::PassThroughFiles {
public:
    explicit TurningColdFiles(int quickOpens) : quickOpens_(quickOpens) {}
    bool readsConcurrently() const override { return true; }
    FileHandle openForReading(const std::string& path, std::string& message) override {
        const int inFlight = ++inFlight_;
        for (int most = mostInFlight.load(); inFlight > most;) {
            mostInFlight.compare_exchange_weak(most, inFlight);
        }
        if (++opened_ > quickOpens_) {
            std::this_thread::sleep_for(std::chrono::microseconds(400));
        }
        FileHandle file = real.openForReading(path, message);
        --inFlight_;
        return file;
    }
    std::atomic<int> mostInFlight{0};

private:
    const int quickOpens_;
    std::atomic<int> opened_{0};
    std::atomic<int> inFlight_{0};
};

// Each open then waits longer than a round trip: the workers go on to read the caller's next
// batch while it renames the one before. On a share, every open waiting from the first, the
// ring grows to a whole journaled batch with pictures in it.
TEST(ReadAhead, ReadsThatTurnSlowAreSpreadOverWorkersAgain) {
    for (const bool share : {false, true}) {
        SCOPED_TRACE(share ? "share, journaled" : "turning cold");
        std::map<std::string, std::uint64_t> folders[2];
        for (const int jobs : {1, 0}) {
            TempFolder dir;
            TempFolder state;
            std::vector<std::string> marked;
            for (int i = 0; i < (share ? 1200 : 300); ++i) {
                marked.push_back(dir.path() + std::to_string(i) + ".jpg");
                writeFile(marked.back(), jpegWithExif(date(i / 2)));
            }
            TurningColdFiles files(share ? 0 : 40);
            RunJournal journal(state.path(), "test");
            RenameOptions options;
            options.journal = share ? &journal : nullptr;
            FixedPrefix prefix("");
            RenameCommands commands([&] { return std::make_unique<ArgumentEntryList>(marked); },
                                    prefix, [] {}, nullptr, &files);
            commands.setOptions(options);
            commands.setJobs(jobs);
            commands.renameMarked();
            folders[jobs] = dir.contents();
            if (jobs == 0 && std::thread::hardware_concurrency() > 1) {
                // Turning cold, one worker reads cached headers first; several read at once
                // once the reads prove slow.
                EXPECT_GE(files.mostInFlight.load(), 3);
            }
        }
        EXPECT_EQ(folders[0], folders[1]);
        EXPECT_EQ(folders[1].count(named(149)), 1u);
    }
}

} // namespace
} // namespace shotstamp

#pragma once

#include "file_system.h"
#include "rename_commands.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace shotstamp {

// Reads the headers of the next pictures of a rename command on a few worker threads while the
// command's own thread handles the current one, and hands the results out strictly in the order
// the source gives the pictures. Workers only read; every rename stays on the command's thread.
//
// A header read ahead may be out of date by the time its picture comes up: the pictures handled
// meanwhile may have moved a file away from its path or onto it. So a result read before the
// previous picture was handled is used only when its path still leads to the very file that was
// read; otherwise, and whenever that cannot be told, the picture is read again at its turn. Each
// result is therefore what reading the picture at its turn gives, as a serial walk would.
//
// Names are taken from the source at most a window ahead of the picture being handled, so memory
// follows the window, not the folder. The window is refilled in bursts, once it is empty, so that
// reading and renaming take turns. Where each read waits for the storage's round trip (a share),
// the workers instead read the caller's next batch while it renames the one before. Where
// headers come from the page cache, one worker does that.
class ReadAhead {
public:
    // Gives the next (folder, file name); false after the last. Called on the command's thread.
    using Source = std::function<bool(std::string& folder, std::string& fileName)>;

    static constexpr int kMaxJobs = 64;
    // Pictures taken from the source ahead of the one being handled.
    static constexpr std::size_t kWindow = 64;
    // The first this many pictures are always read at their turn: a handful of pictures never
    // pays for starting threads.
    static constexpr std::size_t kFewPictures = 8;
    // Left to choose, the program tells reads that wait (a disk, a share) from reads served by
    // the page cache by this: most of the last kFewPictures headers took longer to read.
    static constexpr std::chrono::microseconds kSlowRead{50};

    // Left to choose, on a machine with more than one processor, fast reads go to one worker
    // that keeps the caller's batch and this many pictures more read ahead: it reads while the
    // caller renames, and the caller takes a whole batch before it renames any of it. In one
    // folder the two hardly wait for each other: a name the system has looked up before is
    // opened without holding the folder, which a rename holds. Should the reads turn slow, the
    // program goes over to the workers for waiting reads.
    static constexpr std::size_t kCachedAhead = kWindow;
    // That worker waits until this many pictures are there to read: waking it per picture would
    // cost a switch of threads per picture.
    static constexpr std::size_t kCachedWake = 32;

    // The worker count used when the caller leaves the choice to the program, to begin with.
    static int defaultJobs();
    // Left to choose, the program then doubles the workers (up to kMaxJobs) while the renames
    // wait for a refill's reads longer than this share of the time they took over the window
    // before, and each doubling cuts that wait by a third: on storage where each open waits (a
    // network share), more requests in flight hide the wait.
    static constexpr int kStallShareDivisor = 8;
    // Once the workers stop growing, the program reads beside the renames if most of the first
    // kFewPictures reads, each alone, took longer than this: they waited for the storage's
    // round trip. Measured alone, a read took 90 to 220 us on a cold local disk, about 130 on a
    // pass-through FUSE share that waits 0 ms, 380 at 0.2 ms and 1,190 at 1 ms.
    static constexpr std::chrono::microseconds kRoundTrip{300};

    // jobs: 1 reads every picture at its turn, as a serial walk does; 0 leaves the choice to the
    // program (one worker beside the renames while reads are fast, defaultJobs() workers once
    // reading proves slow, more while the renames wait on them); 2 or more starts that many
    // workers after the first few pictures; more than kMaxJobs counts as kMaxJobs. A file system
    // that cannot be read from several threads is always read at the picture's turn.
    ReadAhead(Source source, FileSystem& fileSystem, int jobs);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // What each scan reads beyond a JPEG header; set before the first call to next().
    void scanWith(const ScanSettings& settings) { settings_ = settings; }
    // How many pictures the caller takes before it handles any (1 unless it batches them); set
    // before the first call to next().
    void takenAtOnce(std::size_t pictures) { batch_ = std::max<std::size_t>(pictures, 1); }
    // Tells which paths this run may have moved a file onto or away from since they were read
    // ahead; such a picture is asked after again when handed out, and read again when it is
    // another file now. Any other picture is handed out as read: should it have changed, the
    // check after its move finds that. Set before the first call to next().
    void recheckWhen(std::function<bool(const std::string& path)> touched) {
        touched_ = std::move(touched);
    }

    // The next picture, read; false after the last. Each call after the first tells that the
    // caller is done with the picture before, which may have renamed files.
    bool next(PictureScan& scan);

private:
    enum class SlotState { waiting, reading, read };
    struct Slot {
        std::string folder;
        std::string fileName;
        SlotState state = SlotState::waiting;
        PictureScan scan;
        bool identified = false;
        FileIdentity identity;
        std::vector<std::string> readerLines;
    };

    Slot& slot(std::uint64_t sequence) { return slots_[sequence % slots_.size()]; }
    // Tells whether most of the last kFewPictures reads, each read alone, took longer.
    bool mostReadsTookOver(std::chrono::steady_clock::duration bar) const;
    void noteRead(std::chrono::steady_clock::duration took);
    void startWorkers(int count);
    void startCachedReading(std::unique_lock<std::mutex>& lock);
    void leaveCachedReading();
    void resizeRing(std::size_t size);
    void growIfStalled(std::chrono::steady_clock::duration waited);
    // Takes names from the source until `ahead` pictures wait to be handed out, or none is left.
    void pullUpTo(std::size_t ahead, std::unique_lock<std::mutex>& lock);
    void work();
    void read(Slot& slot, bool readsWait);

    Source source_;
    FileSystem& fileSystem_;
    ScanSettings settings_;
    std::function<bool(const std::string& path)> touched_;
    int jobs_;
    bool adaptive_;
    bool serialOnly_;
    bool readsCachedAhead_;
    bool sourceDone_ = false;
    std::size_t window_ = 1;
    std::array<std::chrono::steady_clock::duration, kFewPictures> recentReads_{};
    std::size_t readsTimed_ = 0;
    // When the renames of the window being handed out began (after its reads were waited for).
    std::chrono::steady_clock::time_point windowBegan_{};
    // The wait for a window's reads before the last doubling of the workers.
    std::optional<std::chrono::steady_clock::duration> waitBeforeGrowth_;
    bool settled_ = false; // no more workers, no change of mode
    bool overlap_ = false;
    // One worker reads headers from the page cache beside the renames (kCachedAhead).
    bool cached_ = false;
    bool headWaited_ = false; // the caller waits for the picture it is to be handed
    std::size_t batch_ = 1;
    std::size_t ahead_ = 2 * kWindow; // pictures taken ahead while reading and renaming overlap
    std::vector<Slot> slots_;
    std::uint64_t pulled_ = 0;   // pictures taken from the source
    std::uint64_t assigned_ = 0; // pictures a thread has begun to read
    std::uint64_t finished_ = 0; // pictures read by the workers or claimed to be read at their turn
    std::uint64_t handed_ = 0;   // pictures handed out by next()
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable slotRead_;
    std::vector<std::thread> threads_;
};

} // namespace shotstamp

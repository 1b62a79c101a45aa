#include "read_ahead.h"

#include "metadata/picture_reader.h"

#include <algorithm>
#include <system_error>

namespace shotstamp {

int ReadAhead::defaultJobs() {
    // A few to begin with: on a share with little wait, or a machine with few processors, many
    // workers only compete with the renaming thread (on a pass-through FUSE share waiting 0 ms,
    // 32 workers took twice as long as 4). Where the renames keep waiting for them, the count
    // doubles (growIfStalled). Cold, at 100,000 pictures on a local disk, 16, 32 and 64 fixed
    // workers each took 4.6 to 5.3 s and the growth (which stopped at 8 or 16) 4.3 to 5.0 s.
    return 4;
}

ReadAhead::ReadAhead(Source source, FileSystem& fileSystem, int jobs)
    : source_(std::move(source)), fileSystem_(fileSystem),
      jobs_(jobs <= 0 ? defaultJobs() : std::min(jobs, kMaxJobs)), adaptive_(jobs <= 0),
      serialOnly_(jobs_ <= 1 || !fileSystem.readsConcurrently()),
      // On one processor a worker could only take turns with the renames.
      readsCachedAhead_(adaptive_ && std::thread::hardware_concurrency() > 1),
      slots_(serialOnly_ ? 1 : 2 * kWindow) {}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workAvailable_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

bool ReadAhead::mostReadsTookOver(std::chrono::steady_clock::duration bar) const {
    // Most of them, not their mean: a thread that lost the processor for a moment makes one
    // cached read look slow.
    const auto slow = std::count_if(recentReads_.begin(), recentReads_.end(),
                                    [bar](const auto read) { return read > bar; });
    return static_cast<std::size_t>(slow) > recentReads_.size() / 2;
}

void ReadAhead::noteRead(std::chrono::steady_clock::duration took) {
    recentReads_[readsTimed_++ % recentReads_.size()] = took;
}

void ReadAhead::resizeRing(std::size_t size) {
    // No worker holds a slot (none runs yet, or all wait between two windows): the pictures
    // taken and not handed out keep their order.
    std::vector<Slot> ring(size);
    for (std::uint64_t sequence = handed_; sequence < pulled_; ++sequence) {
        ring[sequence % size] = std::move(slot(sequence));
    }
    slots_ = std::move(ring);
}

void ReadAhead::startCachedReading(std::unique_lock<std::mutex>& lock) {
    // The caller takes a whole batch before it renames any of it, so the worker must run more
    // than a batch ahead: a window smaller than that had the two take turns, and ran no faster
    // than one thread.
    ahead_ = batch_ + kCachedAhead;
    resizeRing(ahead_);
    cached_ = true;
    startWorkers(1);
    if (threads_.empty()) {
        cached_ = false;
        serialOnly_ = true;
        return;
    }
    overlap_ = true;
    settled_ = true;
    pullUpTo(ahead_, lock);
}

void ReadAhead::leaveCachedReading() {
    // The headers stopped coming from the cache (a folder on another disk, say): reading and
    // renaming take turns again, with the workers that wait calls for.
    cached_ = false;
    overlap_ = false;
    settled_ = false;
    window_ = kWindow;
    ahead_ = 2 * kWindow;
    windowBegan_ = {};
    workAvailable_.notify_all();
    startWorkers(jobs_ - 1);
}

void ReadAhead::startWorkers(int count) {
    for (int i = 0; i < count; ++i) {
        try {
            threads_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break; // fewer workers, or none: then every picture is read at its turn
        }
    }
}

void ReadAhead::growIfStalled(std::chrono::steady_clock::duration waited) {
    // Called with the lock held, between two windows: no worker holds a slot.
    const auto handled = std::chrono::steady_clock::now() - waited - windowBegan_;
    if (!adaptive_ || settled_ || windowBegan_ == std::chrono::steady_clock::time_point{}) {
        return;
    }
    const int running = static_cast<int>(threads_.size());
    // The wait for a whole window, compared before and after a doubling: more workers pay only
    // while they cut it by a third at least. Where each open waits its own round trip (a share),
    // a doubling halves the wait; where the processors or the disk hold the reads back, more
    // workers only add switching and memory, a stack and a read in flight each. One window is a
    // noisy measure: with a quarter as the bar, a cold local disk sometimes grew to 64 workers
    // by chance where 8 to 16 read as fast.
    const bool helped = !waitBeforeGrowth_ || waited * 3 < *waitBeforeGrowth_ * 2;
    const bool stalled = waited * kStallShareDivisor > handled;
    if (stalled && helped && running < kMaxJobs) {
        waitBeforeGrowth_ = waited;
        startWorkers(std::min(running, kMaxJobs - running));
    } else if (!helped || stalled) {
        // No more workers. Where a read alone waits a round trip (a share), the caller's next
        // batch is read while it renames the one before, each picture handed out as soon as it
        // is read: that hides the wait. Where reads are quick (a local disk, a share close by),
        // the turns stay, with fewer pictures held: reading beside the renames gained nothing
        // there and needs a ring that holds a whole batch.
        settled_ = true;
        if (mostReadsTookOver(kRoundTrip)) {
            ahead_ = batch_ + kWindow;
            if (slots_.size() < ahead_) {
                resizeRing(ahead_);
            }
            overlap_ = true;
        }
    }
}

void ReadAhead::pullUpTo(std::size_t ahead, std::unique_lock<std::mutex>& lock) {
    while (!sourceDone_ && pulled_ - handed_ < ahead) {
        std::string folder;
        std::string fileName;
        lock.unlock();
        const bool got = source_(folder, fileName);
        lock.lock();
        if (!got) {
            sourceDone_ = true;
            workAvailable_.notify_all();
            return;
        }
        Slot& added = slot(pulled_);
        added.folder = std::move(folder);
        added.fileName = std::move(fileName);
        added.state = SlotState::waiting;
        ++pulled_;
        if (!cached_ || pulled_ - assigned_ == kCachedWake) {
            workAvailable_.notify_one();
        }
    }
}

bool ReadAhead::next(PictureScan& scan) {
    std::unique_lock lock(mutex_);
    // Reading and renaming take turns: the window is refilled only once every picture taken
    // into it has been handed out, and with workers running the renames start only once the
    // whole refill has been read. Opening a name the system has not looked up yet holds the
    // folder for the length of a disk read, and a rename in that folder waits for it: renames
    // running beside such opens took about four times as long, cold, as renames between them.
    const auto refillBegan = std::chrono::steady_clock::now();
    const bool refill = pulled_ == handed_ && !overlap_;
    if (overlap_) {
        // Reading and renaming overlap: the window ahead is kept full.
        pullUpTo(ahead_, lock);
    } else if (refill) {
        pullUpTo(window_, lock);
    }
    if (handed_ == pulled_) {
        return false;
    }
    if (cached_ && mostReadsTookOver(kSlowRead)) {
        leaveCachedReading();
    }
    const bool timing = threads_.empty() && !serialOnly_;
    if (timing && readsTimed_ >= kFewPictures) {
        if (readsCachedAhead_ && !mostReadsTookOver(kSlowRead)) {
            startCachedReading(lock);
        } else if (!adaptive_ || mostReadsTookOver(kSlowRead)) {
            startWorkers(jobs_);
            serialOnly_ = threads_.empty();
            window_ = serialOnly_ ? 1 : kWindow;
            pullUpTo(window_, lock);
        }
    }
    if (!threads_.empty() && !overlap_) {
        slotRead_.wait(lock, [this] { return finished_ == pulled_; });
        if (refill) {
            const auto now = std::chrono::steady_clock::now();
            growIfStalled(now - refillBegan);
            windowBegan_ = now;
        }
    }
    Slot& head = slot(handed_);
    bool readNow = false;
    if (head.state == SlotState::waiting) {
        // No worker has begun it: it is read here, at its turn.
        ++assigned_;
        ++finished_;
        head.state = SlotState::reading;
        readNow = true;
    } else if (head.state != SlotState::read) {
        headWaited_ = true;
        workAvailable_.notify_one();
        slotRead_.wait(lock, [&head] { return head.state == SlotState::read; });
        headWaited_ = false;
    }
    // From here no worker touches the head slot: it is reused only after later pulls.
    ++handed_;
    lock.unlock();

    // Only a path this run may have changed is asked after again: on a share every query is a
    // round trip on the renaming thread.
    if (!readNow && touched_ && touched_(head.folder + head.fileName)) {
        FileIdentity now;
        readNow =
            !(head.scan.opened && head.identified &&
              fileSystem_.identifyPath(head.folder + head.fileName, now) && now == head.identity);
    }
    if (readNow) {
        const auto begin = std::chrono::steady_clock::now();
        scan = scanPicture(head.folder, head.fileName, fileSystem_, settings_);
        if (timing) {
            noteRead(std::chrono::steady_clock::now() - begin);
        }
    } else {
        for (const std::string& line : head.readerLines) {
            writeReaderMessage(line);
        }
        scan = std::move(head.scan);
    }
    head.readerLines.clear();
    return true;
}

void ReadAhead::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (assigned_ == pulled_) {
            // Reading cached headers, the worker waits for a run of them, or for the caller.
            workAvailable_.wait(lock, [this] {
                return stopping_ ||
                       (assigned_ < pulled_ && (!cached_ || sourceDone_ || headWaited_ ||
                                                pulled_ - assigned_ >= kCachedWake));
            });
        }
        if (stopping_) {
            return;
        }
        Slot& target = slot(assigned_++);
        target.state = SlotState::reading;
        const bool cached = cached_;
        lock.unlock();
        const auto begin = std::chrono::steady_clock::now();
        read(target, !cached);
        const auto took = std::chrono::steady_clock::now() - begin;
        lock.lock();
        if (cached_) {
            noteRead(took);
        }
        target.state = SlotState::read;
        if (++finished_ == pulled_ || (overlap_ && (!cached_ || headWaited_))) {
            slotRead_.notify_one();
        }
    }
}

void ReadAhead::read(Slot& target, bool readsWait) {
    ReaderMessageCapture capture;
    ScanSettings settings = settings_;
    settings.readsWait = readsWait;
    target.scan = scanPicture(target.folder, target.fileName, fileSystem_, settings);
    target.identified = target.scan.identified;
    target.identity = target.scan.identity;
    target.readerLines = std::move(capture.lines);
}

} // namespace shotstamp

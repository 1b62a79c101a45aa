// The checked copy of --copy on Linux: copy_file_range where the kernel can (in-kernel, and a
// shared extent on file systems that clone), read/write through a bounded buffer where it
// cannot, then fsync and a byte-for-byte comparison before the copy gets its final name.
#include "platform/files.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace shotstamp::files {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

std::string messageOf(int error) {
    char buffer[256] = {};
    return ::strerror_r(error, buffer, sizeof buffer);
}

// Closes a descriptor when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }
    // Closes now; false with errno set when the close itself failed.
    bool reset() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// Reads up to `count` bytes, retrying interruptions; -1 on an error.
ssize_t readSome(int fd, char* out, std::size_t count) {
    ssize_t got;
    do {
        got = ::read(fd, out, count);
    } while (got < 0 && errno == EINTR);
    return got;
}

bool writeAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t put = ::write(fd, bytes, count);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

// Copies exactly `size` bytes; false with the step and errno in `step` when it fails. Reaching
// the end of the source early means it shrank under us.
bool copyBytes(int in, int out, std::uint64_t size, std::vector<char>& buffer, const char*& step) {
    std::uint64_t done = 0;
    bool kernelCopy = true;
    while (done < size) {
        const std::uint64_t left = size - done;
        const std::size_t chunk = left < (std::uint64_t{1} << 30) ? left : std::size_t{1} << 30;
        if (kernelCopy) {
            const ssize_t put = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if (put > 0) {
                done += static_cast<std::uint64_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put == 0 && done == 0) {
                kernelCopy = false; // some file systems answer 0 rather than an error
                continue;
            }
            if (put < 0 && done == 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                 errno == EBADF || errno == EPERM)) {
                kernelCopy = false; // this pair of file systems needs plain reads and writes
                continue;
            }
            if (put == 0) {
                errno = ENODATA;
                step = "the source ended early (it changed while being copied)";
                return false;
            }
            step = "writing the copy";
            return false;
        }
        const ssize_t got =
            readSome(in, buffer.data(), chunk < buffer.size() ? chunk : buffer.size());
        if (got <= 0) {
            if (got == 0) {
                errno = ENODATA;
                step = "the source ended early (it changed while being copied)";
            } else {
                step = "reading the source";
            }
            return false;
        }
        if (!writeAll(out, buffer.data(), static_cast<std::size_t>(got))) {
            step = "writing the copy";
            return false;
        }
        done += static_cast<std::uint64_t>(got);
    }
    return true;
}

// Reads both files from their starts and compares them; true only when both hold exactly
// `size` bytes and the same ones.
bool sameBytes(int a, int b, std::uint64_t size, std::vector<char>& bufferA,
               std::vector<char>& bufferB, const SeenBytes& seen, const char*& step) {
    if (::lseek(a, 0, SEEK_SET) != 0 || ::lseek(b, 0, SEEK_SET) != 0) {
        step = "rewinding for the comparison";
        return false;
    }
    std::uint64_t done = 0;
    for (;;) {
        const ssize_t gotA = readSome(a, bufferA.data(), bufferA.size());
        if (gotA < 0) {
            step = "reading the source again";
            return false;
        }
        // Read the same count from the copy (a short read is topped up).
        std::size_t gotB = 0;
        while (gotB < static_cast<std::size_t>(gotA)) {
            const ssize_t more =
                readSome(b, bufferB.data() + gotB, static_cast<std::size_t>(gotA) - gotB);
            if (more <= 0) {
                break;
            }
            gotB += static_cast<std::size_t>(more);
        }
        if (gotB != static_cast<std::size_t>(gotA) ||
            std::memcmp(bufferA.data(), bufferB.data(), gotB) != 0) {
            errno = EIO;
            step = "comparing: the copy differs from the source";
            return false;
        }
        if (seen && gotB > 0) {
            seen(bufferA.data(), gotB);
        }
        done += gotB;
        if (gotA == 0 || done > size) {
            break;
        }
    }
    char extra = 0;
    if (done != size || readSome(b, &extra, 1) != 0) {
        errno = EIO;
        step = "comparing: the copy and the source differ in size";
        return false;
    }
    return true;
}

} // namespace

std::string temporaryCopyPath(const std::string& to) {
    static std::atomic<unsigned> sequence{0};
    const std::size_t slash = to.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : to.substr(0, slash + 1);
    return folder + ".shotstamp-copy-" + std::to_string(::getpid()) + "-" +
           std::to_string(sequence.fetch_add(1) + 1) + ".part";
}

namespace {

// One copy between its two halves: written and on its way to the device, not yet checked and
// named.
struct PendingCopy {
    std::string from;
    std::string to;
    std::string temporary;
    Descriptor in;
    Descriptor out;
    std::uint64_t size = 0;
    SeenBytes seen;
    bool written = false; // false: `result` already says how it ended
    bool checked = false; // synced and compared, closed, under its temporary name
    CopyResult result;
};

void failCopy(PendingCopy& copy, const char* step, int error) {
    if (copy.out.get() >= 0) {
        copy.out.reset();
        ::unlink(copy.temporary.c_str());
    }
    copy.written = false;
    copy.result.status = CopyStatus::failed;
    copy.result.message = step;
    copy.result.message += ": ";
    copy.result.message += messageOf(error);
}

// Everything up to the flush: the checks, the exclusive create, the bytes and the time.
// Writeback is started at once, so that a later fsync finds little left to do.
void beginCopy(PendingCopy& copy, std::vector<char>& buffer) {
    // O_NONBLOCK: a FIFO under the name must not hang the open; it is refused below.
    copy.in = Descriptor(::open(copy.from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (copy.in.get() < 0) {
        return failCopy(copy, "opening the source", errno);
    }
    struct stat source {};
    if (::fstat(copy.in.get(), &source) != 0) {
        return failCopy(copy, "reading the source's size", errno);
    }
    if (!S_ISREG(source.st_mode)) {
        return failCopy(copy, "the source is not a plain file", EINVAL);
    }
    if (exists(copy.to)) {
        copy.result.status = CopyStatus::targetExists;
        return;
    }
    copy.out = Descriptor(
        ::open(copy.temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
               source.st_mode & 0666)); // as private as the source, never executable
    if (copy.out.get() < 0) {
        return failCopy(copy, "creating the temporary copy", errno);
    }
    // Locked while it is written, so that a sweep of stale copies (removeUnlessInUse) leaves it.
    ::flock(copy.out.get(), LOCK_EX | LOCK_NB);
    copy.size = static_cast<std::uint64_t>(source.st_size);
    const char* step = "";
    if (!copyBytes(copy.in.get(), copy.out.get(), copy.size, buffer, step)) {
        return failCopy(copy, step, errno);
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (::futimens(copy.out.get(), times) != 0) {
        return failCopy(copy, "keeping the modification time", errno);
    }
    ::sync_file_range(copy.out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    copy.written = true;
}

// The flush and the comparison; the copy is left closed under its temporary name.
void checkCopy(PendingCopy& copy, std::vector<char>& buffer, std::vector<char>& second) {
    if (!copy.written) {
        return;
    }
    if (::fsync(copy.out.get()) != 0) {
        return failCopy(copy, "flushing the copy to the device", errno);
    }
    // The comparison should read what the device holds, not the pages just written.
    ::posix_fadvise(copy.out.get(), 0, 0, POSIX_FADV_DONTNEED);
    const char* step = "";
    if (!sameBytes(copy.in.get(), copy.out.get(), copy.size, buffer, second, copy.seen, step)) {
        return failCopy(copy, step, errno);
    }
    copy.in.reset();
    if (!copy.out.reset()) {
        const int error = errno;
        ::unlink(copy.temporary.c_str());
        copy.out = Descriptor();
        return failCopy(copy, "closing the copy", error);
    }
    copy.written = false;
    copy.checked = true;
    copy.result.status = CopyStatus::copied;
    copy.result.bytes = copy.size;
}

// The name, for a checked copy.
void nameCopy(PendingCopy& copy) {
    if (!copy.checked) {
        return;
    }
    copy.checked = false;
    const MoveResult moved = moveNoReplace(copy.temporary, copy.to);
    if (moved.status != MoveStatus::moved) {
        ::unlink(copy.temporary.c_str());
        copy.result.bytes = 0;
        copy.result.status = moved.status == MoveStatus::targetExists ? CopyStatus::targetExists
                                                                      : CopyStatus::failed;
        if (moved.status == MoveStatus::failed) {
            copy.result.message = "giving the copy its name: ";
            copy.result.message += moved.message;
        }
    }
}

} // namespace

CopyResult copyNoReplace(const std::string& from, const std::string& to,
                         const std::string& temporary) {
    PendingCopy copy;
    copy.from = from;
    copy.to = to;
    copy.temporary = temporary;
    // Made once per thread: two fresh megabytes a file cost more page faults than the copy.
    thread_local std::vector<char> buffer(kBufferSize);
    thread_local std::vector<char> second(kBufferSize);
    beginCopy(copy, buffer);
    checkCopy(copy, buffer, second);
    nameCopy(copy);
    return copy.result;
}

// Copies are written on the caller's thread and synced and compared on the queue's own, so that
// the device works on the flushes and the read-backs while the next copies are written.
struct CopyQueue::State {
    std::size_t depth = 1;
    bool name = true;
    std::vector<char> buffer = std::vector<char>(kBufferSize);
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::unique_ptr<PendingCopy>> pending; // in the order added
    std::size_t done = 0;                             // the first `done` of them are finished
    bool stopping = false;
    std::thread worker;

    void work() {
        std::vector<char> first(kBufferSize);
        std::vector<char> second(kBufferSize);
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stopping || done < pending.size(); });
            if (stopping) {
                return;
            }
            PendingCopy& copy = *pending[done];
            lock.unlock();
            checkCopy(copy, first, second);
            lock.lock();
            ++done;
            changed.notify_all();
        }
    }

    // Hands over the oldest copies, each once finished, until no more than `inFlight` are left.
    void collect(std::size_t inFlight, std::vector<FinishedCopy>& finished) {
        std::vector<std::unique_ptr<PendingCopy>> ready;
        {
            std::unique_lock lock(mutex);
            const std::size_t count = pending.size() > inFlight ? pending.size() - inFlight : 0;
            changed.wait(lock, [&] { return done >= count; });
            for (std::size_t i = 0; i < count; ++i, --done) {
                ready.push_back(std::move(pending.front()));
                pending.pop_front();
            }
        }
        for (const auto& copy : ready) {
            if (name) {
                nameCopy(*copy);
            }
            finished.push_back(
                {std::move(copy->from), std::move(copy->to), std::move(copy->result)});
        }
    }
};

CopyQueue::CopyQueue(std::size_t depth, bool name) : state_(std::make_unique<State>()) {
    state_->depth = depth == 0 ? 1 : depth;
    state_->name = name;
}

CopyQueue::~CopyQueue() {
    if (state_->worker.joinable()) {
        {
            const std::lock_guard lock(state_->mutex);
            state_->stopping = true;
        }
        state_->changed.notify_all();
        state_->worker.join();
    }
    // Copies never handed over never get their names: only their temporary files go.
    for (const auto& copy : state_->pending) {
        if (copy->written || copy->checked) {
            copy->out.reset();
            ::unlink(copy->temporary.c_str());
        }
    }
}

void CopyQueue::add(const std::string& from, const std::string& to, const std::string& temporary,
                    std::vector<FinishedCopy>& finished, SeenBytes seen) {
    state_->collect(state_->depth - 1, finished);
    auto copy = std::make_unique<PendingCopy>();
    copy->from = from;
    copy->to = to;
    copy->temporary = temporary;
    copy->seen = std::move(seen);
    beginCopy(*copy, state_->buffer);
    if (!state_->worker.joinable()) {
        state_->worker = std::thread([state = state_.get()] { state->work(); });
    }
    {
        const std::lock_guard lock(state_->mutex);
        state_->pending.push_back(std::move(copy));
    }
    state_->changed.notify_all();
}

void CopyQueue::finishAll(std::vector<FinishedCopy>& finished) {
    state_->collect(0, finished);
}

} // namespace shotstamp::files

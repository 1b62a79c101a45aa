// The checked copy of --copy on Linux: copy_file_range where the kernel can (in-kernel, and a
// shared extent on file systems that clone), read/write through a bounded buffer where it
// cannot, then fsync and a byte-for-byte comparison before the copy gets its final name.
#include "platform/files.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
               std::vector<char>& bufferB, const char*& step) {
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

CopyResult copyNoReplace(const std::string& from, const std::string& to,
                         const std::string& temporary) {
    CopyResult result;
    auto fail = [&](const char* step, int error) {
        result.status = CopyStatus::failed;
        result.message = std::string(step) + ": " + messageOf(error);
        return result;
    };
    // O_NONBLOCK: a FIFO under the name must not hang the open; it is refused below.
    const Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0) {
        return fail("opening the source", errno);
    }
    struct stat source {};
    if (::fstat(in.get(), &source) != 0) {
        return fail("reading the source's size", errno);
    }
    if (!S_ISREG(source.st_mode)) {
        return fail("the source is not a plain file", EINVAL);
    }
    if (exists(to)) {
        result.status = CopyStatus::targetExists;
        return result;
    }
    Descriptor out(::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          source.st_mode & 0666)); // as private as the source, never executable
    if (out.get() < 0) {
        return fail("creating the temporary copy", errno);
    }
    auto failAndRemove = [&](const char* step, int error) {
        out.reset();
        ::unlink(temporary.c_str());
        return fail(step, error);
    };
    const auto size = static_cast<std::uint64_t>(source.st_size);
    std::vector<char> buffer(kBufferSize);
    std::vector<char> second(kBufferSize);
    const char* step = "";
    if (!copyBytes(in.get(), out.get(), size, buffer, step)) {
        return failAndRemove(step, errno);
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (::futimens(out.get(), times) != 0) {
        return failAndRemove("keeping the modification time", errno);
    }
    if (::fsync(out.get()) != 0) {
        return failAndRemove("flushing the copy to the device", errno);
    }
    // The comparison should read what the device holds, not the pages just written.
    ::posix_fadvise(out.get(), 0, 0, POSIX_FADV_DONTNEED);
    if (!sameBytes(in.get(), out.get(), size, buffer, second, step)) {
        return failAndRemove(step, errno);
    }
    if (!out.reset()) {
        return failAndRemove("closing the copy", errno);
    }
    const MoveResult moved = moveNoReplace(temporary, to);
    if (moved.status != MoveStatus::moved) {
        ::unlink(temporary.c_str());
        result.status = moved.status == MoveStatus::targetExists ? CopyStatus::targetExists
                                                                 : CopyStatus::failed;
        result.message = moved.status == MoveStatus::failed
                             ? "giving the copy its name: " + moved.message
                             : std::string();
        return result;
    }
    result.status = CopyStatus::copied;
    result.bytes = size;
    return result;
}

} // namespace shotstamp::files

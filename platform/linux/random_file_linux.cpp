#include "platform/random_file.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace shotstamp::files {

FileRandomSource::FileRandomSource(std::FILE* file) : file_(file) {
    struct stat info {};
    if (file_ == nullptr || ::fstat(::fileno(file_), &info) != 0 || info.st_size < 0) {
        failed_ = true;
        return;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
}

std::size_t FileRandomSource::readAtOffset(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n && !failed_) {
        const ssize_t got =
            ::pread(::fileno(file_), out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            failed_ = true;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace shotstamp::files

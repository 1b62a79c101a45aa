#include "platform/random_file.h"

#include <io.h>
#include <windows.h>

namespace shotstamp::files {

namespace {

HANDLE handleOf(std::FILE* file) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

} // namespace

FileRandomSource::FileRandomSource(std::FILE* file) : file_(file) {
    LARGE_INTEGER size{};
    if (file_ == nullptr || handleOf(file_) == INVALID_HANDLE_VALUE ||
        !GetFileSizeEx(handleOf(file_), &size) || size.QuadPart < 0) {
        failed_ = true;
        return;
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t FileRandomSource::readAtOffset(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n && !failed_) {
        // A handle opened without FILE_FLAG_OVERLAPPED reads synchronously at the offset given.
        OVERLAPPED at{};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const std::size_t want = n - done;
        const DWORD chunk = want > 0x40000000u ? 0x40000000u : static_cast<DWORD>(want);
        DWORD got = 0;
        if (!ReadFile(handleOf(file_), out + done, chunk, &got, &at)) {
            if (GetLastError() != ERROR_HANDLE_EOF) {
                failed_ = true;
            }
            break;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

} // namespace shotstamp::files

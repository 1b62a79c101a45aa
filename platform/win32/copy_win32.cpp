// The checked copy of --copy on Windows: plain reads and writes through a bounded buffer into a
// file created with CREATE_NEW, FlushFileBuffers, a byte-for-byte comparison, then MoveFileA,
// which never replaces a file.
#include "platform/files.h"
#include "system_message.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>
#include <windows.h>

namespace shotstamp::files {

namespace {

constexpr DWORD kBufferSize = 1 << 20;

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool reset() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
    }

private:
    HANDLE handle_;
};

// Reads until `count` bytes or the end; false on an error.
bool readFull(HANDLE file, char* out, DWORD count, DWORD& got) {
    got = 0;
    while (got < count) {
        DWORD some = 0;
        if (!ReadFile(file, out + got, count - got, &some, nullptr)) {
            return false;
        }
        if (some == 0) {
            break;
        }
        got += some;
    }
    return true;
}

bool rewind(HANDLE file) {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) != 0;
}

} // namespace

std::string temporaryCopyPath(const std::string& to) {
    static std::atomic<unsigned> sequence{0};
    std::size_t cut = to.size();
    while (cut > 0 && !isPathSeparator(to[cut - 1]) && to[cut - 1] != ':') {
        --cut;
    }
    return to.substr(0, cut) + ".shotstamp-copy-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(sequence.fetch_add(1) + 1) + ".part";
}

namespace {

// copyNoReplace, or (with `name` false) the same up to the name: the checked copy is left closed
// under its temporary name.
CopyResult checkedCopy(const std::string& from, const std::string& to, const std::string& temporary,
                       bool name, const SeenBytes& seen) {
    CopyResult result;
    auto fail = [&](const char* step, DWORD error) {
        result.status = CopyStatus::failed;
        result.message = std::string(step) + ": " + messageOf(error);
        return result;
    };
    const Handle in(CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.valid()) {
        return fail("opening the source", GetLastError());
    }
    if (GetFileType(in.get()) != FILE_TYPE_DISK) {
        return fail("the source is not a plain file", ERROR_INVALID_PARAMETER);
    }
    LARGE_INTEGER sizeValue{};
    FILETIME created{};
    FILETIME accessed{};
    FILETIME written{};
    if (!GetFileSizeEx(in.get(), &sizeValue) ||
        !GetFileTime(in.get(), &created, &accessed, &written)) {
        return fail("reading the source's size", GetLastError());
    }
    if (exists(to)) {
        result.status = CopyStatus::targetExists;
        return result;
    }
    Handle out(CreateFileA(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) {
        return fail("creating the temporary copy", GetLastError());
    }
    auto failAndRemove = [&](const char* step, DWORD error) {
        out.reset();
        DeleteFileA(temporary.c_str());
        return fail(step, error);
    };
    const auto size = static_cast<std::uint64_t>(sizeValue.QuadPart);
    // Made once per thread: two fresh megabytes a file cost more than a small file's copy.
    thread_local std::vector<char> buffer(kBufferSize);
    thread_local std::vector<char> second(kBufferSize);
    for (std::uint64_t done = 0; done < size;) {
        const std::uint64_t left = size - done;
        const DWORD chunk = left < kBufferSize ? static_cast<DWORD>(left) : kBufferSize;
        DWORD got = 0;
        if (!readFull(in.get(), buffer.data(), chunk, got)) {
            return failAndRemove("reading the source", GetLastError());
        }
        if (got == 0) {
            return failAndRemove("the source ended early (it changed while being copied)",
                                 ERROR_HANDLE_EOF);
        }
        DWORD put = 0;
        if (!WriteFile(out.get(), buffer.data(), got, &put, nullptr) || put != got) {
            return failAndRemove("writing the copy", GetLastError());
        }
        done += got;
    }
    if (!SetFileTime(out.get(), nullptr, nullptr, &written)) {
        return failAndRemove("keeping the modification time", GetLastError());
    }
    if (!FlushFileBuffers(out.get())) {
        return failAndRemove("flushing the copy to the device", GetLastError());
    }
    if (!rewind(in.get()) || !rewind(out.get())) {
        return failAndRemove("rewinding for the comparison", GetLastError());
    }
    std::uint64_t compared = 0;
    for (;;) {
        DWORD gotA = 0;
        DWORD gotB = 0;
        if (!readFull(in.get(), buffer.data(), kBufferSize, gotA) ||
            !readFull(out.get(), second.data(), kBufferSize, gotB)) {
            return failAndRemove("reading for the comparison", GetLastError());
        }
        if (gotA != gotB || std::memcmp(buffer.data(), second.data(), gotA) != 0) {
            return failAndRemove("comparing: the copy differs from the source", ERROR_CRC);
        }
        if (seen && gotA > 0) {
            seen(buffer.data(), gotA);
        }
        compared += gotA;
        if (gotA == 0 || compared > size) {
            break;
        }
    }
    if (compared != size) {
        return failAndRemove("comparing: the copy and the source differ in size", ERROR_CRC);
    }
    if (!out.reset()) {
        return failAndRemove("closing the copy", GetLastError());
    }
    result.bytes = size;
    if (!name) {
        result.status = CopyStatus::copied;
        return result;
    }
    const MoveResult moved = moveNoReplace(temporary, to);
    if (moved.status != MoveStatus::moved) {
        DeleteFileA(temporary.c_str());
        result.status = moved.status == MoveStatus::targetExists ? CopyStatus::targetExists
                                                                 : CopyStatus::failed;
        result.message = moved.status == MoveStatus::failed
                             ? "giving the copy its name: " + moved.message
                             : std::string();
        result.bytes = 0;
        return result;
    }
    result.status = CopyStatus::copied;
    return result;
}

} // namespace

CopyResult copyNoReplace(const std::string& from, const std::string& to,
                         const std::string& temporary) {
    return checkedCopy(from, to, temporary, true, {});
}

// Windows has no cheap way to start a flush early, so each copy is finished as it is added.
struct CopyQueue::State {
    bool name = true;
};

CopyQueue::CopyQueue(std::size_t, bool name) : state_(std::make_unique<State>()) {
    state_->name = name;
}

CopyQueue::~CopyQueue() = default;

void CopyQueue::add(const std::string& from, const std::string& to, const std::string& temporary,
                    std::vector<FinishedCopy>& finished, SeenBytes seen) {
    finished.push_back({from, to, checkedCopy(from, to, temporary, state_->name, seen)});
}

void CopyQueue::finishAll(std::vector<FinishedCopy>&) {}

} // namespace shotstamp::files

#include "platform/files.h"
#include "platform/linux/no_replace_move.h"
#include "platform/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace shotstamp::files {

namespace {

std::string messageOf(int error) {
    // The reentrant form (GNU flavour): pictures are opened on several threads at once.
    char buffer[256] = {};
    return ::strerror_r(error, buffer, sizeof buffer);
}

} // namespace

namespace posix {

StepResult renameNoReplace(const std::string& from, const std::string& to) {
    // Through syscall(): older C libraries have no renameat2 wrapper.
    const long rc = ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                              static_cast<unsigned>(RENAME_NOREPLACE));
    if (rc == 0) {
        return {StepStatus::moved, 0};
    }
    const int error = errno;
    if (error == EEXIST) {
        return {StepStatus::targetExists, error};
    }
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP) {
        return {StepStatus::unsupported, error};
    }
    return {StepStatus::failed, error};
}

StepResult linkThenUnlink(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        if (error == EEXIST) {
            return {StepStatus::targetExists, error};
        }
        if (error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS ||
            error == EMLINK) {
            return {StepStatus::unsupported, error};
        }
        return {StepStatus::failed, error};
    }
    if (::unlink(from.c_str()) != 0) {
        // Keep the one old name rather than leave the picture under two.
        const int error = errno;
        ::unlink(to.c_str());
        return {StepStatus::failed, error};
    }
    return {StepStatus::moved, 0};
}

StepResult guardedRename(const std::string& from, const std::string& to) {
    const int guard =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (guard < 0) {
        const int error = errno;
        return {error == EEXIST ? StepStatus::targetExists : StepStatus::failed, error};
    }
    struct stat claimed {};
    const bool known = ::fstat(guard, &claimed) == 0;
    ::close(guard);
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return {StepStatus::moved, 0};
    }
    const int error = errno;
    // Remove the claim only while it is still ours.
    struct stat now {};
    if (known && ::lstat(to.c_str(), &now) == 0 && now.st_dev == claimed.st_dev &&
        now.st_ino == claimed.st_ino && now.st_size == 0) {
        ::unlink(to.c_str());
    }
    return {StepStatus::failed, error};
}

} // namespace posix

namespace {

FileIdentity identityOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

// The fewest system calls that open a picture safely: one open, one status query (kind and
// identity at once), and the stream's own flag query in fdopen.
std::FILE* openRegular(const std::string& path, std::string& message, struct stat& info) {
    // Non-blocking open so that a pipe named *.jpg cannot hang the walk; refused below anyway.
    // The flag stays: Linux reads regular files the same with or without it, so clearing it
    // would cost two more calls per picture (each a round trip on a network share).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        message = messageOf(errno);
        return nullptr;
    }
    if (::fstat(fd, &info) != 0) {
        message = messageOf(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        message = messageOf(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        message = messageOf(errno);
        ::close(fd);
    }
    return file;
}

} // namespace

std::FILE* openForReading(const std::string& path, std::string& message) {
    struct stat info {};
    return openRegular(path, message, info);
}

std::FILE* openIdentified(const std::string& path, std::string& message, FileIdentity& identity,
                          bool& identified) {
    struct stat info {};
    std::FILE* file = openRegular(path, message, info);
    identified = file != nullptr;
    if (identified) {
        identity = identityOf(info);
    }
    return file;
}

MoveResult moveNoReplace(const std::string& from, const std::string& to) {
    using posix::StepStatus;
    posix::StepResult step = posix::renameNoReplace(from, to);
    if (step.status == StepStatus::unsupported) {
        step = posix::linkThenUnlink(from, to);
    }
    if (step.status == StepStatus::unsupported) {
        step = posix::guardedRename(from, to);
    }
    switch (step.status) {
    case StepStatus::moved:
        return {MoveStatus::moved, {}};
    case StepStatus::targetExists:
        return {MoveStatus::targetExists, {}};
    default:
        return {MoveStatus::failed, step.error == EXDEV ? kOtherFileSystem : messageOf(step.error)};
    }
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool identifyOpenFile(std::FILE* file, FileIdentity& identity) {
    struct stat info {};
    if (file == nullptr || ::fstat(::fileno(file), &info) != 0) {
        return false;
    }
    identity = identityOf(info);
    return true;
}

bool identifyPath(const std::string& path, FileIdentity& identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    identity = identityOf(info);
    return true;
}

// readdir is unspecified for entries renamed while it walks, so the names are collected first.
// They are packed, each with a terminating zero, into fixed-size blocks: memory stays at the
// names' own length, with no doubling of one growing buffer.
struct Enumeration::State {
    static constexpr std::size_t kBlockSize = 64 * 1024;
    std::vector<std::string> blocks;
    std::size_t block = 0;
    std::size_t position = 0;

    void add(std::string_view name) {
        if (blocks.empty() || blocks.back().size() + name.size() + 1 > blocks.back().capacity()) {
            blocks.emplace_back().reserve(std::max(kBlockSize, name.size() + 1));
        }
        blocks.back().append(name);
        blocks.back().push_back('\0');
    }
};

Enumeration::Enumeration(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return;
    }
    auto state = std::make_unique<State>();
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (text::endsWithJpg(name)) {
            state->add(name);
        }
    }
    ::closedir(dir);
    if (!state->blocks.empty()) {
        state_ = std::move(state);
    }
}

Enumeration::~Enumeration() = default;

bool Enumeration::valid() const {
    return state_ != nullptr;
}

bool Enumeration::next(std::string& fileName) {
    if (!state_) {
        return false;
    }
    if (state_->block < state_->blocks.size() &&
        state_->position >= state_->blocks[state_->block].size()) {
        ++state_->block;
        state_->position = 0;
    }
    if (state_->block >= state_->blocks.size()) {
        return false;
    }
    const char* start = state_->blocks[state_->block].data() + state_->position;
    const std::size_t length = std::strlen(start);
    fileName.assign(start, length);
    state_->position += length + 1;
    return true;
}

namespace {

// The longest name a folder takes. A run names many pictures in one folder: the last folder's
// answer is kept, which saves a round trip to the file system per picture.
long nameMaxOf(const std::string& folder) {
    static std::mutex mutex;
    static std::string lastFolder;
    static long lastMax = 0;
    {
        const std::lock_guard lock(mutex);
        if (!lastFolder.empty() && folder == lastFolder) {
            return lastMax;
        }
    }
    const long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::lock_guard lock(mutex);
    lastFolder = nameMax > 0 ? folder : std::string();
    lastMax = nameMax;
    return nameMax;
}

} // namespace

bool nameFits(const std::string& path, std::string& message) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::size_t nameLength = path.size() - (slash == std::string::npos ? 0 : slash + 1);
    const long nameMax = nameMaxOf(folder);
    const long pathMax = ::pathconf(folder.c_str(), _PC_PATH_MAX);
    // A folder pathconf cannot ask gives the common limits; the rename then says the rest.
    if (nameLength <= static_cast<std::size_t>(nameMax > 0 ? nameMax : 255) &&
        path.size() < static_cast<std::size_t>(pathMax > 0 ? pathMax : 4096)) {
        return true;
    }
    message = messageOf(ENAMETOOLONG);
    return false;
}

bool isPathSeparator(char c) {
    return c == '/';
}

bool nameByteAllowed(unsigned char byte) {
    return byte != 0 && byte != '/';
}

std::string runningProgramPath() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length))
                      : std::string();
}

bool commandLineIsOneText() {
    return false;
}

bool listFolder(const std::string& folder, FolderListing& entries) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    const int dirFd = ::dirfd(dir);
    bool complete = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat info {};
            if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
                type = S_ISREG(info.st_mode)   ? DT_REG
                       : S_ISDIR(info.st_mode) ? DT_DIR
                       : S_ISLNK(info.st_mode) ? DT_LNK
                                               : DT_UNKNOWN;
            }
        }
        const EntryKind kind = type == DT_REG   ? EntryKind::file
                               : type == DT_DIR ? EntryKind::folder
                               : type == DT_LNK ? EntryKind::link
                                                : EntryKind::other;
        // The entry's inode number comes with its name: no query per file.
        if (!entries.add(name, kind, static_cast<std::uint64_t>(entry->d_ino))) {
            complete = false;
            break;
        }
    }
    ::closedir(dir);
    return complete;
}

EntryKind kindOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.empty() ? "." : path.c_str(), &info) != 0) {
        return EntryKind::missing;
    }
    return S_ISREG(info.st_mode)   ? EntryKind::file
           : S_ISDIR(info.st_mode) ? EntryKind::folder
                                   : EntryKind::other;
}

bool folderIdentity(const std::string& folder, std::uint64_t& volume, std::uint64_t& index) {
    struct stat info {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &info) != 0) {
        return false;
    }
    volume = static_cast<std::uint64_t>(info.st_dev);
    index = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) {
            return path;
        }
        buffer.resize(buffer.size() * 2);
    }
    std::string out(buffer.data());
    if (out.empty() || out.back() != '/') {
        out.push_back('/');
    }
    return out + path;
}

std::string nameOnDisk(const std::string& path) {
    return path;
}

std::FILE* createNew(const std::string& path, std::string& message) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        message = messageOf(errno);
        return nullptr;
    }
    // The lock tells other processes that the file is in use; it goes with the last close.
    ::flock(fd, LOCK_EX | LOCK_NB);
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        message = messageOf(errno);
        ::close(fd);
    }
    return file;
}

bool writeAll(std::FILE* file, std::string_view text, std::string& message) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0) {
        message = messageOf(errno != 0 ? errno : EIO);
        std::clearerr(file);
        return false;
    }
    return true;
}

bool syncData(std::FILE* file, std::string& message) {
    if (::fdatasync(::fileno(file)) != 0) {
        message = messageOf(errno);
        return false;
    }
    return true;
}

bool syncFolder(const std::string& folder, std::string& message) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        message = messageOf(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    ::close(fd);
    return true;
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool createFolder(const std::string& path, std::string& message) {
    if (::mkdir(path.c_str(), 0777) != 0) {
        message = messageOf(errno);
        return false;
    }
    return true;
}

bool removeEmptyFolder(const std::string& path) {
    return ::rmdir(path.c_str()) == 0;
}

bool removeUnlessInUse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    // Held while it is deleted, so that no writer can take the file up in between.
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool removed = free && ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

bool standardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::string userStateFolder() {
    // XDG_STATE_HOME counts only when it is an absolute path; otherwise ~/.local/state.
    std::string base;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            return {};
        }
        base = std::string(home) + "/.local/state";
    }
    const std::string folder = base + "/shotstamp/";
    // Make each missing part in turn, like mkdir -p.
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return {};
        }
    }
    return kindOf(folder) == EntryKind::folder ? folder : std::string();
}

} // namespace shotstamp::files

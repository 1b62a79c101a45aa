// A pass-through file system that waits a fixed time in every open, standing in for a network
// share where each request is a round trip. For the benchmarks only.
//
// usage: slow_fs SOURCE MOUNTPOINT MICROSECONDS [FUSE OPTIONS...]
// Unmount with: fusermount3 -u MOUNTPOINT
#define FUSE_USE_VERSION 31
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string source;
std::chrono::microseconds latency{0};

std::string real(const char* path) {
    return source + path;
}

int result(int rc) {
    return rc < 0 ? -errno : rc;
}

int onGetattr(const char* path, struct stat* info, fuse_file_info*) {
    return result(::lstat(real(path).c_str(), info));
}

int onReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    DIR* dir = ::opendir(real(path).c_str());
    if (dir == nullptr) {
        return -errno;
    }
    while (const dirent* entry = ::readdir(dir)) {
        fill(buffer, entry->d_name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    }
    ::closedir(dir);
    return 0;
}

int onOpen(const char* path, fuse_file_info* info) {
    std::this_thread::sleep_for(latency);
    const int fd = ::open(real(path).c_str(), info->flags);
    if (fd < 0) {
        return -errno;
    }
    info->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

int onCreate(const char* path, mode_t mode, fuse_file_info* info) {
    const int fd = ::open(real(path).c_str(), info->flags | O_CREAT, mode);
    if (fd < 0) {
        return -errno;
    }
    info->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

int onRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    return result(static_cast<int>(::pread(static_cast<int>(info->fh), buffer, size, offset)));
}

int onWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    return result(static_cast<int>(::pwrite(static_cast<int>(info->fh), buffer, size, offset)));
}

int onRelease(const char*, fuse_file_info* info) {
    ::close(static_cast<int>(info->fh));
    return 0;
}

int onTruncate(const char* path, off_t size, fuse_file_info*) {
    return result(::truncate(real(path).c_str(), size));
}

int onRename(const char* from, const char* to, unsigned int flags) {
    return result(static_cast<int>(
        ::syscall(SYS_renameat2, AT_FDCWD, real(from).c_str(), AT_FDCWD, real(to).c_str(), flags)));
}

int onLink(const char* from, const char* to) {
    return result(::link(real(from).c_str(), real(to).c_str()));
}

int onUnlink(const char* path) {
    return result(::unlink(real(path).c_str()));
}

int onMkdir(const char* path, mode_t mode) {
    return result(::mkdir(real(path).c_str(), mode));
}

int onRmdir(const char* path) {
    return result(::rmdir(real(path).c_str()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: slow_fs SOURCE MOUNTPOINT MICROSECONDS [FUSE OPTIONS...]\n");
        return 2;
    }
    char* resolved = ::realpath(argv[1], nullptr);
    if (resolved == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    source = resolved;
    std::free(resolved);
    latency = std::chrono::microseconds(std::atol(argv[3]));

    fuse_operations operations{};
    operations.getattr = onGetattr;
    operations.readdir = onReaddir;
    operations.open = onOpen;
    operations.create = onCreate;
    operations.read = onRead;
    operations.write = onWrite;
    operations.release = onRelease;
    operations.truncate = onTruncate;
    operations.rename = onRename;
    operations.link = onLink;
    operations.unlink = onUnlink;
    operations.mkdir = onMkdir;
    operations.rmdir = onRmdir;

    // A share's latency is a wait, not a queue: libfuse serves 10 requests at a time unless told
    // otherwise, and with each of them asleep in an open every other request (a stat, a rename)
    // would queue behind them. Options given after MICROSECONDS come later and win.
    char threads[] = "max_threads=256";
    char option[] = "-o";
    std::vector<char*> fuseArguments{argv[0], argv[2], option, threads};
    for (int i = 4; i < argc; ++i) {
        fuseArguments.push_back(argv[i]);
    }
    return fuse_main(static_cast<int>(fuseArguments.size()), fuseArguments.data(), &operations,
                     nullptr);
}

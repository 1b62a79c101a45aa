#pragma once
// The yardstick both rename benchmarks measure against: a program that only opens each file,
// walks its marker segments by their lengths to the start of scan, closes it and renames it,
// without reading any EXIF.

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

// A folder's names, dot files left out.
inline std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] != '.') {
                names.emplace_back(e->d_name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

inline bool moveNoReplace(const std::string& from, const std::string& to) {
    return ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                     static_cast<unsigned>(RENAME_NOREPLACE)) == 0;
}

// Renames every file of the folder to "base N.jpg" after walking its segments; the count renamed.
inline int baseline(const std::string& folder) {
    int renamed = 0;
    int serial = 0;
    for (const std::string& name : namesIn(folder)) {
        const std::string path = folder + name;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            continue;
        }
        bool ok = std::fgetc(file) == 0xFF && std::fgetc(file) == 0xD8;
        while (ok) {
            int code = std::fgetc(file);
            while (code == 0xFF) {
                code = std::fgetc(file);
            }
            const int high = std::fgetc(file);
            const int low = std::fgetc(file);
            if (code < 0 || high < 0 || low < 0 || code == 0xDA) {
                break;
            }
            ok = std::fseek(file, high * 256 + low - 2, SEEK_CUR) == 0;
        }
        std::fclose(file);
        renamed +=
            moveNoReplace(path, folder + "base " + std::to_string(serial++) + ".jpg") ? 1 : 0;
    }
    return renamed;
}

// Runs a program with its output discarded. Returns the seconds it took, or a negative number
// when it failed or exited above worstStatus; peakKiB gets the child's peak memory.
inline double runProgram(const std::vector<std::string>& args, long& peakKiB, int worstStatus = 0) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    peakKiB = usage.ru_maxrss;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) <= worstStatus ? seconds : -1.0;
}

// Gives every picture a name that no run produces, so that the next run renames all again.
inline void resetNames(const std::string& folder) {
    const std::vector<std::string> names = namesIn(folder);
    for (std::size_t i = 0; i < names.size(); ++i) {
        moveNoReplace(folder + names[i], folder + "tmp_" + std::to_string(i));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        moveNoReplace(folder + "tmp_" + std::to_string(i),
                      folder + "IMG_" + std::to_string(i) + ".JPG");
    }
}

} // namespace bench

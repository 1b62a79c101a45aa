#pragma once
// The yardstick both rename benchmarks measure against: a program that only opens each file,
// walks its marker segments by their lengths to the start of scan, closes it and renames it,
// without reading any EXIF.

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/syscall.h>
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

} // namespace bench

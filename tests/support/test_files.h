#pragma once

// Test pictures made in code and temporary folders on the real file system, shared by the
// rename, window and installer tests and the rename benchmark.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace shotstamp::testing {

inline void put16(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

inline std::string segment(unsigned char code, std::string_view payload) {
    std::string out{'\xFF', static_cast<char>(code)};
    const std::size_t length = payload.size() + 2;
    out.push_back(static_cast<char>((length >> 8) & 0xFF));
    out.push_back(static_cast<char>(length & 0xFF));
    out.append(payload);
    return out;
}

// A small JPEG whose Exif block holds DateTimeOriginal = `date` in the Exif directory, as cameras
// store it; without a date the Exif directory holds only an ExifVersion entry. `marker` goes into
// a comment segment so that pictures of one date still differ in their bytes.
inline std::string jpegWithExif(std::optional<std::string_view> date,
                                std::string_view marker = {}) {
    std::string tiff = "II";
    put16(tiff, 42);
    put32(tiff, 8);
    // IFD0 at 8: one entry pointing at the Exif directory at 26.
    put16(tiff, 1);
    put16(tiff, 0x8769);
    put16(tiff, 4);
    put32(tiff, 1);
    put32(tiff, 26);
    put32(tiff, 0);
    // Exif directory at 26; its out-of-line value follows at 44.
    put16(tiff, 1);
    if (date) {
        put16(tiff, 0x9003);
        put16(tiff, 2);
        put32(tiff, static_cast<std::uint32_t>(date->size() + 1));
        put32(tiff, 44);
    } else {
        put16(tiff, 0x9000);
        put16(tiff, 7);
        put32(tiff, 4);
        tiff.append("0220");
    }
    put32(tiff, 0);
    if (date) {
        tiff.append(*date);
        tiff.push_back('\0');
    }
    std::string jpeg = "\xFF\xD8";
    jpeg += segment(0xE1, std::string("Exif\0\0", 6) + tiff);
    jpeg += segment(0xFE, marker.empty() ? std::string_view("x") : marker);
    jpeg += segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
    jpeg += "\x12\x34\x56\xFF\xD9";
    return jpeg;
}

inline std::string jpegWithoutExif() {
    return "\xFF\xD8" + segment(0xFE, "no exif") +
           segment(0xDA, std::string("\x01\x01\0\0\x3F\0", 6)) + "\x12\xFF\xD9";
}

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::uint64_t checksum(std::string_view bytes) {
    std::uint64_t h = 1469598103934665603ULL; // FNV-1a
    for (const char c : bytes) {
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return h;
}

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
public:
    TempFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path base = fs::temp_directory_path(error);
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate = base / ("shotstamp-test-" + std::to_string(random()));
            if (fs::create_directory(candidate, error)) {
                path_ = candidate.string() + static_cast<char>(fs::path::preferred_separator);
            }
        }
    }
    ~TempFolder() {
        namespace fs = std::filesystem;
        if (path_.empty()) {
            return;
        }
        // Tests take permissions away; give them back so that everything can be removed.
        std::error_code error;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
        for (auto it = fs::recursive_directory_iterator(path_, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (!it->is_symlink(error)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
            }
        }
        fs::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Ends in the platform's separator.
    const std::string& path() const { return path_; }

    // Every entry name in the folder mapped to the checksum of its bytes (0 for a non-file).
    std::map<std::string, std::uint64_t> contents() const {
        namespace fs = std::filesystem;
        std::map<std::string, std::uint64_t> out;
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(path_, error)) {
            const std::string name = entry.path().filename().string();
            std::error_code kindError;
            out[name] = entry.is_regular_file(kindError) ? checksum(readFile(path_ + name)) : 0;
        }
        return out;
    }

private:
    std::string path_;
};

inline std::multiset<std::uint64_t>
checksums(const std::map<std::string, std::uint64_t>& contents) {
    std::multiset<std::uint64_t> out;
    for (const auto& [name, sum] : contents) {
        out.insert(sum);
    }
    return out;
}

} // namespace shotstamp::testing

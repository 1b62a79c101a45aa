// Reads the records of every JPEG in a folder, N times over, and prints how fast that goes and how
// much of each file the reader takes: it stops at the start of scan, so a camera picture of
// megabytes costs a few kilobytes.
//
//   reader_bench [--passes N] [FOLDER]     (FOLDER defaults to the corpus's picture folder)

#include "metadata/picture_reader.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

using shotstamp::ByteSource;
using shotstamp::FileByteSource;
using shotstamp::PictureReader;

// Counts what the reader takes from a file.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(std::FILE* file) : inner_(file) {}
    int readByte() override {
        const int c = inner_.readByte();
        count_ += c >= 0 ? 1 : 0;
        return c;
    }
    std::size_t readBlock(std::uint8_t* out, std::size_t n) override {
        const std::size_t got = inner_.readBlock(out, n);
        count_ += got;
        return got;
    }
    std::size_t count() const { return count_; }

private:
    FileByteSource inner_;
    std::size_t count_ = 0;
};

bool isJpegName(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".jpg" || extension == ".jpeg";
}

void ignoreLine(std::string_view) {}

} // namespace

int main(int argc, char** argv) {
    int passes = 20;
    std::filesystem::path folder = std::filesystem::path(SHOTSTAMP_CORPUS_DIR) / "exif-samples";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--passes" && i + 1 < argc) {
            passes = std::max(1, std::atoi(argv[++i]));
        } else {
            folder = arg;
        }
    }
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::fprintf(stderr, "reader_bench: no folder %s\n", folder.string().c_str());
        return 1;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && isJpegName(entry.path())) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    shotstamp::setReaderMessageSink(&ignoreLine);

    // What each file costs: bytes read next to its size.
    std::printf("%-44s %10s %10s %7s  %s\n", "file", "size", "read", "share", "reached scan");
    std::uintmax_t totalSize = 0;
    std::uintmax_t totalRead = 0;
    for (const auto& path : files) {
        std::FILE* f = std::fopen(path.string().c_str(), "rb");
        if (f == nullptr) {
            continue;
        }
        CountingSource source(f);
        PictureReader reader;
        const bool scan = reader.readSections(source);
        std::fclose(f);
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        totalSize += size;
        totalRead += source.count();
        std::printf("%-44s %10ju %10zu %6.2f%%  %s\n",
                    std::filesystem::relative(path, folder).string().c_str(), size, source.count(),
                    size == 0
                        ? 0.0
                        : 100.0 * static_cast<double>(source.count()) / static_cast<double>(size),
                    scan ? "yes" : "no");
    }
    const double fileCount = static_cast<double>(files.size());
    std::printf("\n%zu files: %.0f bytes on average, %.0f bytes read on average (%.2f%%)\n",
                files.size(), static_cast<double>(totalSize) / fileCount,
                static_cast<double>(totalRead) / fileCount,
                100.0 * static_cast<double>(totalRead) / static_cast<double>(totalSize));

    // Throughput: the whole folder, `passes` times, through the stream interface.
    int withExif = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < passes; ++pass) {
        for (const auto& path : files) {
            std::FILE* f = std::fopen(path.string().c_str(), "rb");
            if (f == nullptr) {
                continue;
            }
            PictureReader reader;
            reader.readSections(f);
            withExif += reader.record().exifPresent ? 1 : 0;
            std::fclose(f);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double reads = fileCount * passes;
    std::printf("%d passes, %.0f reads in %.3f s: %.0f files per second, %.1f us per file "
                "(%d with EXIF)\n",
                passes, reads, seconds, reads / seconds, 1e6 * seconds / reads, withExif);
    return 0;
}

// Dates every supported file of a folder through the container pipeline (identify, extract),
// N times over, and prints per container how many files a second that gives and how many bytes
// each file costs, JPEG among them for comparison. Besides the folder (by default the corpus's
// formats folder) it writes the box builder's files and a 1 GiB sparse MP4 whose movie box comes
// last into a temporary folder and dates those too. It asks for what the default date chain
// uses: no XMP packet.
//
//   container_bench [--passes N] [FOLDER]

#include "box_builder.h"
#include "metadata/containers/container.h"
#include "metadata/picture_reader.h"
#include "platform/files.h"
#include "platform/random_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace shotstamp;
using testing::Bytes;

struct Figures {
    int files = 0;
    int dated = 0;
    std::uint64_t bytesRead = 0;
    std::uint64_t mostRead = 0;
    std::uint64_t size = 0;
    double seconds = 0;
};

void ignoreLine(std::string_view) {}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The generated files: one of each ISO-BMFF kind, and a large sparse video.
void writeGenerated(const std::filesystem::path& folder) {
    using namespace testing;
    HeifOptions heif;
    heif.items = {{1, "Exif", "", exifItem(exifTiff(true, "2021:01:02 03:04:05", "5"))}};
    writeFile(folder / "generated.heic", heifFile(heif));
    writeFile(folder / "generated.cr3", cr3File(false, "2021:01:02 03:04:05"));
    const Bytes moov = movieBox({3697765567ULL, 0, "2021-03-04T14:06:07+0900", ""});
    writeFile(folder / "generated.mov",
              concat({ftyp("qt  ", "qt  "), box("mdat", Bytes(4096, 0)), moov}));
    const std::uint64_t size = 1ULL << 30;
    const Bytes type = ftyp("isom", "mp41");
    writeFile(folder / "sparse_1GiB.mp4",
              concat({type, be(1, 4), bytesOf("mdat"), be(size - type.size() - moov.size(), 8)}));
    std::filesystem::resize_file(folder / "sparse_1GiB.mp4", size);
    std::fstream file(folder / "sparse_1GiB.mp4", std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(size - moov.size()));
    file.write(reinterpret_cast<const char*>(moov.data()),
               static_cast<std::streamsize>(moov.size()));
}

// One file through the pipeline; false when it cannot be opened.
bool date(const std::filesystem::path& path, std::string& name, bool& dated, std::uint64_t& read) {
    std::string message;
    std::FILE* file = files::openForReading(path.string(), message);
    if (file == nullptr) {
        return false;
    }
    files::FileRandomSource source(file);
    const ExtractedMetadata out = extractMetadata(source, ExtractOptions{.xmpPacket = false});
    std::fclose(file);
    name = out.content.name;
    dated = out.capture.found();
    read = source.bytesRead();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int passes = 20;
    std::filesystem::path folder = std::filesystem::path(SHOTSTAMP_CORPUS_DIR) / "formats";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--passes" && i + 1 < argc) {
            passes = std::max(1, std::atoi(argv[++i]));
        } else {
            folder = arg;
        }
    }
    setReaderMessageSink(&ignoreLine);
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file() && hasSupportedExtension(entry.path().string())) {
                paths.push_back(entry.path());
            }
        }
    } else {
        std::printf("no folder %s: generated files only\n", folder.string().c_str());
    }
    const std::filesystem::path generated =
        std::filesystem::temp_directory_path() / "shotstamp-container-bench";
    std::filesystem::create_directories(generated);
    writeGenerated(generated);
    for (const auto& entry : std::filesystem::directory_iterator(generated)) {
        paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());

    std::map<std::string, Figures> byContainer;
    for (const auto& path : paths) {
        std::string name;
        bool dated = false;
        std::uint64_t read = 0;
        if (!date(path, name, dated, read)) {
            continue;
        }
        Figures& f = byContainer[name];
        f.files += 1;
        f.dated += dated ? 1 : 0;
        f.bytesRead += read;
        f.mostRead = std::max(f.mostRead, read);
        f.size += std::filesystem::file_size(path, error);
        const auto start = std::chrono::steady_clock::now();
        for (int pass = 0; pass < passes; ++pass) {
            date(path, name, dated, read);
        }
        f.seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::filesystem::remove_all(generated, error);

    std::printf("%d passes over %zu files\n", passes, paths.size());
    std::printf("%-10s %6s %6s %14s %14s %14s %12s\n", "container", "files", "dated", "avg size",
                "avg read", "most read", "files/s");
    for (const auto& [name, f] : byContainer) {
        std::printf("%-10s %6d %6d %14.0f %14.0f %14llu %12.0f\n", name.c_str(), f.files, f.dated,
                    static_cast<double>(f.size) / f.files,
                    static_cast<double>(f.bytesRead) / f.files,
                    static_cast<unsigned long long>(f.mostRead),
                    f.seconds > 0 ? f.files * passes / f.seconds : 0.0);
    }
    return 0;
}

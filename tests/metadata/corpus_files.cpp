#include "corpus_files.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace shotstamp::testing {

std::filesystem::path corpusFolder() {
    const std::filesystem::path folder =
        std::filesystem::path(SHOTSTAMP_CORPUS_DIR) / "exif-samples";
    std::error_code error;
    return std::filesystem::is_directory(folder, error) ? folder : std::filesystem::path();
}

std::string corpusMissing() {
    return "camera corpus not found at " +
           (std::filesystem::path(SHOTSTAMP_CORPUS_DIR) / "exif-samples").string();
}

std::vector<std::filesystem::path> corpusPictures() {
    std::vector<std::filesystem::path> pictures;
    const std::filesystem::path folder = corpusFolder();
    if (folder.empty()) {
        return pictures;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file() && (extension == ".jpg" || extension == ".jpeg")) {
            pictures.push_back(entry.path());
        }
    }
    std::sort(pictures.begin(), pictures.end());
    return pictures;
}

Bytes readCorpusFile(const std::string& relativePath) {
    const std::filesystem::path folder = corpusFolder();
    if (folder.empty()) {
        return {};
    }
    std::ifstream in(folder / relativePath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t findSegment(const Bytes& file, std::uint8_t code) {
    std::size_t pos = 2;
    while (pos + 4 <= file.size() && file[pos] == 0xFF) {
        if (file[pos + 1] == code) {
            return pos;
        }
        pos += 2 + std::size_t{file[pos + 2]} * 256 + file[pos + 3];
    }
    return std::string::npos;
}

} // namespace shotstamp::testing

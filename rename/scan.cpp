#include "scan.h"

#include "capture/date_inputs.h"
#include "metadata/picture_reader.h"
#include "platform/random_file.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace shotstamp {

namespace {

// Reads the file for the picture reader and remembers whether it started like a JPEG (FF D8),
// so that a file that is no JPEG can be told from a JPEG without EXIF without a second read.
class HeadRecordingSource final : public ByteSource {
public:
    explicit HeadRecordingSource(ByteSource& inner) : inner_(inner) {}

    int readByte() override {
        const int byte = inner_.readByte();
        note(byte);
        return byte;
    }
    std::size_t readBlock(std::uint8_t* out, std::size_t count) override {
        const std::size_t got = inner_.readBlock(out, count);
        for (std::size_t i = 0; i < got && seen_ < 2; ++i) {
            note(out[i]);
        }
        return got;
    }
    bool skip(std::size_t count) override { return inner_.skip(count); }
    bool startsLikeJpeg() const { return seen_ == 2 && head_[0] == 0xFF && head_[1] == 0xD8; }

private:
    void note(int byte) {
        if (seen_ < 2 && byte >= 0) {
            head_[seen_++] = byte;
        }
    }

    ByteSource& inner_;
    int head_[2] = {0, 0};
    int seen_ = 0;
};

files::FileRandomSource randomSourceOf(std::FILE* file, const PictureScan& scan) {
    return scan.identified ? files::FileRandomSource(file, scan.identity.size)
                           : files::FileRandomSource(file);
}

} // namespace

ExifDate exifDateOf(const PictureRecord& record) {
    ExifDate exif;
    std::memcpy(exif.dateTimeOriginal, record.dateTimeOriginal, sizeof exif.dateTimeOriginal);
    std::memcpy(exif.subSecTimeOriginal, record.subSecTimeOriginal, sizeof exif.subSecTimeOriginal);
    exif.exifPresent = record.exifPresent;
    return exif;
}

std::string readSidecarXmp(const std::string& path, FileSystem& fileSystem) {
    for (const std::string& candidate : capture::sidecarPaths(path)) {
        std::string message;
        const FileHandle file = fileSystem.openForReading(candidate, message);
        if (!file) {
            continue;
        }
        std::string text(capture::kMaxSidecarBytes, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), file.get()));
        return text;
    }
    return {};
}

PictureScan scanPicture(const std::string& folder, const std::string& fileName,
                        FileSystem& fileSystem, const ScanSettings& settings) {
    PictureScan scan;
    scan.folder = folder;
    scan.fileName = fileName;
    // One open that also tells which file it is: on a share every extra query is a round trip.
    FileHandle file = fileSystem.openIdentified(folder + fileName, scan.systemMessage,
                                                scan.identity, scan.identified);
    if (!file) {
        return scan;
    }
    scan.opened = true;
    // The record lives here rather than on the heap: at over a kilobyte, allocating it made the
    // allocator tidy its caches for every picture.
    PictureRecord record{};
    PictureReader reader(&record);
    reader.skipComment();
    ExifDateTexts texts;
    if (settings.everyContainer) {
        reader.setDateTexts(&texts);
        reader.setXmpPacket(&scan.found.xmpPacket);
    }
    // Read at offsets rather than through the stream: the segments no date comes from are
    // passed over without reading a byte of them.
    reader.keepOnlyDateBytes();
    files::FileRandomSource random = randomSourceOf(file.get(), scan);
    SequentialReader sequential(random, settings.readsWait ? SequentialReader::kLargestFirstRead
                                                           : SequentialReader::kBlock);
    HeadRecordingSource source(sequential);
    reader.readSections(source);
    scan.startsLikeJpeg = source.startsLikeJpeg();
    scan.exifSegmentFound = reader.exifSegmentCount() > 0;
    scan.sectionLimitReached = reader.sectionLimitReached();
    scan.readerMessage = reader.errorText();
    scan.exif = exifDateOf(reader.record());
    if (settings.everyContainer) {
        scan.extracted = true;
        if (scan.startsLikeJpeg) {
            // The JPEG reader has read what the extract step would: nothing is read twice.
            takeJpegReading(reader.record(), std::move(texts), scan.found);
        } else {
            // The XMP packet counts where the chain names it, and where the Exif block holds no
            // DateTimeOriginal (the packet's own is then the one a date is compared with). A
            // HEIF keeps it in an item of its own, often larger than the Exif item.
            files::FileRandomSource whole = randomSourceOf(file.get(), scan);
            scan.found = extractMetadata(whole, ExtractOptions{.xmpPacket = settings.sidecar});
            if (!settings.sidecar && scan.found.exif.original.empty()) {
                files::FileRandomSource again = randomSourceOf(file.get(), scan);
                scan.found = extractMetadata(again);
            }
        }
        if (settings.sidecar) {
            scan.sidecarXmp = readSidecarXmp(folder + fileName, fileSystem);
        }
        if (settings.modificationTime) {
            scan.modificationTime = fileSystem.modifiedSeconds(folder + fileName);
        }
    }
    return scan;
}

} // namespace shotstamp

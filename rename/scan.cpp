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
    explicit HeadRecordingSource(std::FILE* file) : inner_(file) {}

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
    bool startsLikeJpeg() const { return seen_ == 2 && head_[0] == 0xFF && head_[1] == 0xD8; }

private:
    void note(int byte) {
        if (seen_ < 2 && byte >= 0) {
            head_[seen_++] = byte;
        }
    }

    FileByteSource inner_;
    int head_[2] = {0, 0};
    int seen_ = 0;
};

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
    // The stream reads into this buffer rather than one it would allocate after asking the
    // system for the file's block size: a query fewer per picture. Declared before the handle,
    // so that it outlives the stream.
    char streamBuffer[16384];
    // One open that also tells which file it is: on a share every extra query is a round trip.
    FileHandle file = fileSystem.openIdentified(folder + fileName, scan.systemMessage,
                                                scan.identity, scan.identified);
    if (!file) {
        return scan;
    }
    std::setvbuf(file.get(), streamBuffer, _IOFBF, sizeof streamBuffer);
    scan.opened = true;
    PictureReader reader;
    reader.skipComment();
    ExifDateTexts texts;
    if (settings.everyContainer) {
        reader.setDateTexts(&texts);
        reader.setXmpPacket(&scan.found.xmpPacket);
    }
    HeadRecordingSource source(file.get());
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
            files::FileRandomSource random(file.get());
            scan.found = extractMetadata(random);
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

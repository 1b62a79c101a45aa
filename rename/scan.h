#pragma once

// The identify and extract steps as a rename runs them: one file opened once, its kind told from
// its first bytes, its metadata read. Reading needs no prefix and changes nothing on disk, so it
// may happen ahead of the renaming, on another thread; the decision and the move come later.

#include "file_system.h"
#include "metadata/containers/container.h"
#include "metadata/picture_record.h"

#include <cstdint>
#include <optional>
#include <string>

namespace shotstamp {

// What a scan reads beyond the window's JPEG header. The defaults are the window's.
struct ScanSettings {
    // Files of every container the tool reads, not only JPEG; a JPEG also gives its every date
    // text and its XMP packet.
    bool everyContainer = false;
    // A sidecar .xmp beside the file is read too (the date chain names the xmp source).
    bool sidecar = false;
    // The file's modification time is asked for too (the chain names the mtime source).
    bool modificationTime = false;
    // The reads wait on the storage (pictures are read ahead): the first read of a file takes
    // 32 KiB at once instead of 4, so that a camera's header usually costs one wait.
    bool readsWait = false;
};

// What reading one file found.
// What dating needs of the reader's record. A scan waits in a batch of hundreds, and the record's
// other fields (a 1,000-byte comment among them) would make each several times larger.
struct ExifDate {
    char dateTimeOriginal[sizeof PictureRecord::dateTimeOriginal] = {};
    char subSecTimeOriginal[sizeof PictureRecord::subSecTimeOriginal] = {};
    bool exifPresent = false;
};

ExifDate exifDateOf(const PictureRecord& record);

struct PictureScan {
    std::string folder;
    std::string fileName;
    bool opened = false;
    std::string systemMessage; // why it could not be opened
    bool startsLikeJpeg = false;
    bool exifSegmentFound = false;    // an Exif segment was there, readable or not
    bool sectionLimitReached = false; // the reader stopped at the most sections it keeps
    std::string readerMessage;        // the reader's last message
    ExifDate exif;
    bool identified = false; // which file was read, so that no other one is moved in its place
    FileIdentity identity;

    // With ScanSettings::everyContainer only: what the extract step found (for a JPEG, its date
    // texts and XMP packet taken from the reader above), the sidecar's text, and the file's
    // modification time when its identity gave one.
    bool extracted = false;
    ExtractedMetadata found;
    std::string sidecarXmp;
    std::optional<std::int64_t> modificationTime;
};

// The text of the first sidecar .xmp beside `path` (name.xmp, then name.ext.xmp), cut at the
// bound the XMP scanner reads; empty when there is none.
std::string readSidecarXmp(const std::string& path, FileSystem& fileSystem);

// Opens and reads one file's header; the file is closed again before it returns.
PictureScan scanPicture(const std::string& folder, const std::string& fileName,
                        FileSystem& fileSystem, const ScanSettings& settings = {});

} // namespace shotstamp

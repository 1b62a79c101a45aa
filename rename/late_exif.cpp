#include "late_exif.h"

#include "metadata/picture_reader.h"

namespace shotstamp {

bool readExifPastSections(const PictureScan& scan, FileSystem& fileSystem, ExifDate& exif) {
    if (!scan.opened || !scan.sectionLimitReached || scan.exifSegmentFound) {
        return false;
    }
    std::string message;
    const FileHandle file = fileSystem.openForReading(scan.folder + scan.fileName, message);
    if (!file) {
        return false;
    }
    PictureReader reader;
    reader.lookForExifPastKeptSections();
    reader.readSections(file.get());
    if (!reader.record().exifPresent) {
        return false;
    }
    exif = exifDateOf(reader.record());
    return true;
}

} // namespace shotstamp

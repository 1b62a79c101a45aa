#pragma once

#include "rename_commands.h"

namespace shotstamp {

// For a scanned picture whose reader kept the most segments it keeps before it met an EXIF block:
// reads the file again, looking on past those segments for one. True with the date fields then
// read in `exif` when that found an EXIF block; false, and `exif` left alone, for any other
// picture.
bool readExifPastSections(const PictureScan& scan, FileSystem& fileSystem, ExifDate& exif);

} // namespace shotstamp

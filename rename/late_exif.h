#pragma once

#include "rename_commands.h"

namespace shotstamp {

// For a scanned picture whose reader kept the most segments it keeps before it met an EXIF block:
// reads the file again, looking on past those segments for one. True with the record then read
// in `record` (its thumbnail cleared) when that found an EXIF block; false, and `record` left
// alone, for any other picture.
bool readExifPastSections(const PictureScan& scan, FileSystem& fileSystem, PictureRecord& record);

} // namespace shotstamp

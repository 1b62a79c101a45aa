#pragma once

// JPEG XL: the container's "Exif" box, also when Brotli-compressed in a "brob" box, else its
// "xml " box. A bare code stream carries no metadata.

#include "metadata/containers/container.h"

namespace shotstamp {

bool extractJxl(RandomAccessSource& source, ExtractedMetadata& out);

// Whether this build can read Brotli-compressed boxes (the Windows builds have no Brotli).
bool jxlReadsCompressedBoxes();

} // namespace shotstamp

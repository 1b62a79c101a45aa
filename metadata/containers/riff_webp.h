#pragma once

// WebP: the RIFF "EXIF" chunk, else the "XMP " chunk.

#include "metadata/containers/container.h"

namespace shotstamp {

bool extractWebp(RandomAccessSource& source, ExtractedMetadata& out);

} // namespace shotstamp

#pragma once

// Fujifilm's RAW files: a header of their own that points at an embedded JPEG preview, whose
// Exif segment holds the capture date.

#include "metadata/containers/container.h"

namespace shotstamp {

bool extractRaf(RandomAccessSource& source, ExtractedMetadata& out);

} // namespace shotstamp

#pragma once

// PNG: the eXIf chunk, else the EXIF block that older tools wrote as hexadecimal text
// ("Raw profile type exif", often compressed), else a "Creation Time" text, else the XMP packet.

#include "metadata/containers/container.h"

namespace shotstamp {

bool extractPng(RandomAccessSource& source, ExtractedMetadata& out);

} // namespace shotstamp

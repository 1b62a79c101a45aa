#pragma once

#include "metadata/containers/container.h"
#include "metadata/picture_reader.h"

#include <string>
#include <string_view>

namespace shotstamp::cli {

// `info [--json] FILE...`: reads each file with the picture reader and prints what it found.
// Exit status 0 when every file could be opened and read, 1 otherwise, 2 for a usage error.
int runInfo(int argc, char** argv);

// One file's report as a single line of JSON (no line break): the record's fields by their
// names, plus "file", "readSections", "errorText", "sections", "thumbnailOffset", and last the
// "container" and "captureTime" of `found`.
std::string describeAsJson(std::string_view file, const PictureReader& reader, bool readResult,
                           const ExtractedMetadata& found);

// The same report as an aligned listing, one field a line, ending with a blank line.
std::string describeAsListing(std::string_view file, const PictureReader& reader, bool readResult,
                              const ExtractedMetadata& found);

// The report of a file of another kind than JPEG: "file", "container", "captureTime" and
// "message" (why no capture time was found, or the last problem met).
std::string describeMetadataAsJson(std::string_view file, const ExtractedMetadata& found);
std::string describeMetadataAsListing(std::string_view file, const ExtractedMetadata& found);

} // namespace shotstamp::cli

#pragma once

#include "metadata/picture_reader.h"

#include <string>
#include <string_view>

namespace shotstamp::cli {

// `info [--json] FILE...`: reads each file with the picture reader and prints what it found.
// Exit status 0 when every file could be opened and read, 1 otherwise, 2 for a usage error.
int runInfo(int argc, char** argv);

// One file's report as a single line of JSON (no line break): the record's fields by their
// names, plus "file", "readSections", "errorText", "sections" and "thumbnailOffset".
std::string describeAsJson(std::string_view file, const PictureReader& reader, bool readResult);

// The same report as an aligned listing, one field a line, ending with a blank line.
std::string describeAsListing(std::string_view file, const PictureReader& reader, bool readResult);

} // namespace shotstamp::cli
